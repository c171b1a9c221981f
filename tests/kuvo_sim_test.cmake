# kuvo-sim end to end: games run to their end, the same seed replays them exactly (with the options
# written either way), and bad options get the reason and the usage with exit code 2. Run by CTest
# with -DSIM=<path to kuvo-sim>.
function(run_sim out_var code_var)
  execute_process(COMMAND ${SIM} ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
  set(${out_var} "${out}${err}" PARENT_SCOPE)
  set(${code_var} ${code} PARENT_SCOPE)
endfunction()

function(game_lines text out_var)
  string(REGEX MATCHALL "game [0-9]+: winner P[12], score [0-9]+:[0-9]+, strokes [0-9]+, simulated [0-9.]+ s" lines "${text}")
  set(${out_var} "${lines}" PARENT_SCOPE)
endfunction()

run_sim(first code --games 2 --seed 40000 --p1 novice --p2 master)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "kuvo-sim failed (${code}):\n${first}")
endif()
game_lines("${first}" first_games)
list(LENGTH first_games count)
if(NOT count EQUAL 2 OR NOT first MATCHES "summary: 2 games, [0-9.]+ simulated s in [0-9.]+ wall s, ratio [0-9]+")
  message(FATAL_ERROR "unexpected output:\n${first}")
endif()

run_sim(second code --games=2 --seed=40000 --p1=novice --p2 master)
game_lines("${second}" second_games)
if(NOT first_games STREQUAL second_games)
  message(FATAL_ERROR "the same seed played different games:\n${first}\n${second}")
endif()

# Numbers are plain decimals, and a writer takes no other options. Each entry: the words | the reason.
foreach(bad "--games;0|--games needs a whole number" "--p1;expert|--p1 needs novice" "--seed;-1|--seed needs"
            "--frobnicate;1|unknown option --frobnicate" "--frobnicate=1|unknown option --frobnicate"
            "--games|missing value for --games" "--games;0x2|--games needs" "--games; 2|--games needs"
            "--games=2.5|--games needs" "--seed;1e3|--seed needs" "--seed=86400|--seed needs"
            "--p;novice|ambiguous option --p" "--help=1|--help takes no value" "-x|unknown option -x"
            "stray|unexpected argument stray" "--write-sounds;unused-dir;--games;2|--write-sounds takes no other"
            "--games;2;--write-textures;unused-dir|--write-textures takes no other"
            "--write-hud=unused-dir;--seed=5|--write-hud takes no other")
  string(REPLACE "|" ";" fields "${bad}")
  list(POP_BACK fields reason)
  run_sim(out code ${fields})
  if(NOT code EQUAL 2 OR NOT out MATCHES "^kuvo-sim: ${reason}[^\n]*\nusage: kuvo-sim")
    message(FATAL_ERROR "'${fields}' gave exit code ${code}:\n${out}")
  endif()
endforeach()
run_sim(out code --help)
if(NOT code EQUAL 0 OR NOT out MATCHES "^usage: kuvo-sim")
  message(FATAL_ERROR "--help gave exit code ${code}:\n${out}")
endif()

# Output that cannot be written is a failure with its reason: a full standard output ...
execute_process(COMMAND ${SIM} --games 1 --seed 100 OUTPUT_FILE /dev/full ERROR_VARIABLE err RESULT_VARIABLE code)
if(NOT code EQUAL 1 OR NOT err MATCHES "cannot write standard output: No space left on device")
  message(FATAL_ERROR "writing to a full standard output gave exit code ${code}:\n${err}")
endif()

# ... and a file that does not fit (a file-size limit stands in for a full disk), which leaves no file behind.
set(dir "${CMAKE_CURRENT_BINARY_DIR}/kuvo-sim-no-room")
file(REMOVE_RECURSE "${dir}")
execute_process(COMMAND sh -c "ulimit -f 30 && exec \"$0\" --write-sounds \"$1\"" ${SIM} ${dir}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
file(GLOB left "${dir}/*")
if(NOT code EQUAL 1 OR NOT err MATCHES "cannot write .*StrokeSound.wav: File too large" OR left)
  message(FATAL_ERROR "writing sounds without room gave exit code ${code}, left '${left}':\n${out}${err}")
endif()
file(REMOVE_RECURSE "${dir}")

# The written pictures keep their colours, red and blue not swapped on the way into the file: the
# result is red text, the wood and the table's surface redder than blue, the lamp's reflection bluer.
# Each entry: the picture | the channel that must be higher | the lower one | by at least.
set(dir "${CMAKE_CURRENT_BINARY_DIR}/kuvo-sim-pictures")
file(REMOVE_RECURSE "${dir}")
foreach(writer --write-hud --write-textures)
  run_sim(out code ${writer} ${dir})
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${writer} gave exit code ${code}:\n${out}")
  endif()
endforeach()
foreach(check "hud-result|0|2|30" "WoodTexture|0|2|12" "SurfaceTexture|0|2|30" "LampReflectionTexture|2|0|20")
  string(REPLACE "|" ";" fields "${check}")
  list(GET fields 0 name)
  list(GET fields 1 high)
  list(GET fields 2 low)
  list(GET fields 3 margin)
  # The mean colour, 0 to 255 a channel, by ImageMagick.
  execute_process(COMMAND convert ${dir}/${name}.png -resize 1x1!
                          -format "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]" info:
                  OUTPUT_VARIABLE rgb)
  separate_arguments(rgb)
  list(GET rgb ${high} h)
  list(GET rgb ${low} l)
  math(EXPR difference "${h} - ${l}")
  if(NOT difference GREATER_EQUAL margin)
    message(FATAL_ERROR "${name}.png's mean colour ${rgb}: channel ${high} is not ${margin} above channel ${low}")
  endif()
endforeach()
file(REMOVE_RECURSE "${dir}")
