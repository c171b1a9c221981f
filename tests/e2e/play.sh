#!/usr/bin/env bash
# End-to-end run of kuvo on its own Xvfb with Mesa's software OpenGL, driven with xdotool and seen
# with ImageMagick's import.
#   play.sh KUVO OUTDIR play    menu -> tick player 1's Computer, Master! -> Play -> strokes -> F5 -> Esc
#   play.sh KUVO OUTDIR notice  on a 10th: the notice first, the menu only after X, then Exit
#   play.sh KUVO OUTDIR error   no usable OpenGL: the error box centred and focused, Enter closes it,
#                               the stderr line, exit code non-zero
#   play.sh KUVO OUTDIR signal  SIGTERM during the notice and SIGINT in the menu end the program
# Prints the measured times; screenshots are OUTDIR/<run>-*.png.
set -euo pipefail
kuvo=$1 out=$2 run=$3
mkdir -p "$out"
work=$(mktemp -d)
xvfb_pid= game_pid=

cleanup() {
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL ($run): $*" >&2
  [ -f "$work/stderr" ] && sed 's/^/  kuvo: /' "$work/stderr" >&2
  # Where a hung game waits, for whoever reads the log.
  if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
    echo "  kuvo is waiting in $(cat /proc/"$game_pid"/wchan 2>/dev/null) with threads:" \
      "$(cat /proc/"$game_pid"/task/*/comm 2>/dev/null | tr '\n' ' ')" >&2
  fi
  shot failure || true
  exit 1
}

# A display of our own: Xvfb picks a free number and writes it to the descriptor.
Xvfb -displayfd 5 -screen 0 1280x720x24 -nolisten tcp -noreset 5>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY

now() { date +%s.%N; }
since() { echo "$1 $(now)" | awk '{printf "%.2f", $2 - $1}'; }
shot() { import -window root "$out/$run-$1.png"; }
# The colour of one screen pixel as #RRGGBB.
pixel() { import -window root -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1; }
# The game's window id, and its geometry as "WxH+X+Y".
window() { xdotool search --name "^$1\$" 2>/dev/null | head -1; }
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print w "x" h "+" x "+" y}'; }
alive() { kill -0 "$game_pid" 2>/dev/null; }

# Waits up to $1 seconds (polling) for the command that follows to succeed.
wait_for() {
  local limit=$1
  shift
  local end
  end=$(echo "$(now) $limit" | awk '{printf "%.3f", $1 + $2}')
  until "$@"; do
    alive || fail "kuvo ended early (exit $(wait "$game_pid"; echo $?))"
    [ "$(echo "$(now) $end" | awk '{print ($1 > $2)}')" = 1 ] && return 1
    sleep 0.05
  done
}

# Waits for the game to end by itself and checks its exit code.
expect_exit() {
  local want=$1 limit=$2 code
  for _ in $(seq $((limit * 20))); do alive || break; sleep 0.05; done
  alive && fail "kuvo still running ${limit} s after it was told to end"
  set +e
  wait "$game_pid"
  code=$?
  set -e
  game_pid=
  [ "$want" = nonzero ] && [ "$code" -ne 0 ] && return 0
  [ "$code" = "$want" ] || fail "exit code $code, expected $want"
}

win= geo= wx=0 wy=0
# The menu is on screen: the window at 565 x 314 and its grey panel drawn.
menu_shown() {
  win=$(window Kuvo)
  [ -n "$win" ] || return 1
  geo=$(geometry "$win")
  [[ $geo == 565x314+* ]] || return 1
  wx=$(echo "$geo" | sed 's/.*+\(.*\)+.*/\1/')
  wy=$(echo "$geo" | sed 's/.*+//')
  [ "$(pixel $((wx + 80)) $((wy + 40)))" = "#808080" ]
}
notice_shown() {
  win=$(window "Kuvo notice")
  [ -n "$win" ] || return 1
  geo=$(geometry "$win")
  [[ $geo == 685x361+* ]] || return 1
  wx=$(echo "$geo" | sed 's/.*+\(.*\)+.*/\1/')
  wy=$(echo "$geo" | sed 's/.*+//')
  # The "X" button's face is drawn.
  [ "$(pixel $((wx + 19)) $((wy + 10)))" = "#D4D0C8" ]
}
# Client coordinates of the menu's controls (twips / 15, the panel at 72, 32).
click() {
  xdotool mousemove --window "$win" "$1" "$2" click 1
  sleep 0.3
}
maximised() { [[ $(geometry "$win") == 1280x720+0+0 ]]; }
table_drawn() { [ "$(pixel 640 360)" != "#002800" ]; }

start_game() {
  t0=$(now)
  "$@" "$kuvo" 2>"$work/stderr" &
  game_pid=$!
}

# Starts the game (with the command prefix given) until CHECK sees its first window. Now and then a
# start shows nothing at all, the process idling with its window never drawn; the cause is not yet
# known. Such a start is reported with the X server's window tree and made once more.
start_until() {
  local check=$1
  shift
  for attempt in 1 2; do
    start_game "$@"
    wait_for 20 "$check" && return 0
    echo "WARNING ($run): nothing shown 20 s after start, attempt $attempt; the windows were:" >&2
    xwininfo -root -tree 2>&1 | grep -i kuvo | sed 's/^/  /' >&2 || true
    shot "blank-start-$attempt" || true
    kill -KILL "$game_pid" 2>/dev/null || true
    wait "$game_pid" 2>/dev/null || true
    game_pid=
  done
  fail "nothing shown 20 s after start, twice"
}

case "$run" in
  play)
    start_until menu_shown env
    echo "start to menu on screen: $(since "$t0") s"
    shot menu
    click 219 128  # player 1's "Computer"
    click 390 166  # "Master!"
    [ "$(pixel $((wx + 430)) $((wy + 160)))" = "#000080" ] || fail "Master! is not selected"
    [ "$(pixel $((wx + 220)) $((wy + 129)))" != "#FFFFFF" ] || fail "player 1's Computer box is not ticked"
    shot menu-set
    t_play=$(now)
    xdotool mousemove --window "$win" 206 236 click 1  # "Play", timed without click's pause
    wait_for 10 maximised || fail "the window was not maximised after Play"
    echo "Play to maximised window: $(since "$t_play") s"
    shot startup
    wait_for 60 table_drawn || fail "no table within 60 s of Play"
    echo "Play to the first frame: $(since "$t_play") s"
    sleep 12
    shot play
    sleep 6
    shot play-later
    changed=$(compare -metric AE "$out/play-play.png" "$out/play-play-later.png" null: 2>&1 || true)
    echo "pixels changed in 6 s of computer play: $changed"
    [ "${changed%% *}" -gt 1000 ] 2>/dev/null || fail "nothing moved during play"
    xdotool key F5
    sleep 1.5
    shot after-f5
    t_esc=$(now)
    xdotool key Escape
    expect_exit 0 30
    echo "Esc to exit: $(since "$t_esc") s"
    ;;
  notice)
    start_until notice_shown faketime "2026-05-10 12:00:00"
    echo "start to notice on screen: $(since "$t0") s"
    shot notice
    notice=$win
    sleep 1
    menu_shown && fail "the menu came before X was clicked"
    win=$notice
    click 31 15  # "X"
    wait_for 10 menu_shown || fail "no menu after X"
    shot menu
    click 350 236  # "Exit"
    expect_exit 0 10
    ;;
  error)
    # Mesa as a GL 2.1 driver without framebuffer objects: the game's device cannot be made, the menu
    # (plain GL 2.1) still works.
    start_until menu_shown env MESA_GL_VERSION_OVERRIDE=2.1 MESA_EXTENSION_OVERRIDE=-GL_ARB_framebuffer_object
    # A click within the menu's first moments on screen is now and then lost (Play is drawn hovered,
    # nothing happens); the other runs click after a screenshot or a pause, and so does this one.
    shot menu
    sleep 0.5
    click 206 236  # "Play"
    # SDL's box is a window named Kuvo with no class, which xdotool's search passes over.
    box_window() { xwininfo -root -tree | awk '/"Kuvo": \(\)/ {print $1; exit}'; }
    box_shown() { [ -n "$(box_window)" ]; }
    wait_for 30 box_shown || fail "no error box within 30 s of Play"
    shot error
    grep -q '^kuvo: ' "$work/stderr" || fail "no error line on stderr"
    sed 's/^/stderr: /' "$work/stderr"
    box=$(box_window)
    size=$(geometry "$box")
    bw=${size%%x*} rest=${size#*x} bh=${rest%%+*} rest=${rest#*+} bx=${rest%%+*} by=${rest#*+}
    echo "error box: $size"
    # Centred across the 1280 x 720 screen, and in its upper half as dialogs are.
    [ $((bx + bw / 2 - 640)) -ge -2 ] && [ $((bx + bw / 2 - 640)) -le 2 ] || fail "box not centred: $size"
    [ "$by" -gt 0 ] && [ $((by + bh / 2)) -le 360 ] || fail "box not in the upper half: $size"
    # With no window manager nobody else gives it the keyboard: Enter must reach its button.
    wait_for 5 eval '[ "$(xdotool getwindowfocus -f 2>/dev/null)" = "$((box))" ]' || fail "the box has no focus (it is $(xdotool getwindowfocus -f 2>&1), the box $((box)))"
    xdotool key Return
    expect_exit nonzero 10
    ;;
  signal)
    start_until notice_shown faketime "2026-05-10 12:00:00"
    # faketime runs the game as its child and passes the game's exit status on.
    kill -TERM "$(pgrep -P "$game_pid" kuvo || echo "$game_pid")"
    expect_exit 0 10
    # A script's background job starts with SIGINT ignored, and SDL leaves an ignored signal so; with
    # job control on it starts as from a terminal.
    set -m
    start_until menu_shown env
    set +m
    kill -INT "$game_pid"
    expect_exit 0 10
    ;;
  *) fail "unknown run $run" ;;
esac
echo "PASS ($run)"
