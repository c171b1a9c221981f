// The match runner: the real run loop on the testing backends, both players the computer,
// the clock advanced one 60 Hz frame per pass, as fast as the CPU allows.
#include <chrono>
#include <cstdio>

#include "ai/modAI.h"
#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/testing/Headless.h"
#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

namespace {

constexpr double FrameSeconds = 1.0 / 60.0;
constexpr int KeyEscape = 27, KeyF5 = 116;

struct MatchState {
  int gamesDone = 0;
  long strokes = 0;
  bool wasAtRest = true;
  bool reported = false;
  double gameStart = 0.0;
  double simulatedTotal = 0.0;
};

}  // namespace

int RunMatches(const MatchOptions& options) {
  HeadlessPlatform host(options.seedTimeOfDay);
  IsComputer[1] = IsComputer[2] = true;
  PlayerNames[1] = "P1";
  PlayerNames[2] = "P2";
  MatchState match;

  host.window.script = [&](long pass, ScriptedWindow& window) {
    host.clock.Advance(FrameSeconds);
    if (!GameOver) {
      // A new game starts at the first rack and after each F5.
      if (pass == 0 || match.reported) {
        match.gameStart = SimTime;
        match.strokes = 0;
        match.wasAtRest = true;
        match.reported = false;
      }
      // One difficulty serves the game; each side aims with its own.
      Difficulty = options.difficulty[CurrentPlayer];
      // A computer's stroke lasts far longer than one pass, so every stroke is seen starting.
      if (match.wasAtRest && !BallsAtRest) ++match.strokes;
      match.wasAtRest = BallsAtRest;
      return;
    }
    if (match.reported) return;
    match.reported = true;
    double simulated = SimTime - match.gameStart;
    match.simulatedTotal += simulated;
    ++match.gamesDone;
    std::printf("game %d: winner P%d, score %d:%d, strokes %ld, simulated %.1f s\n", match.gamesDone, CurrentPlayer,
                Scores[1], Scores[2], match.strokes, simulated);
    std::fflush(stdout);
    window.PressKey(match.gamesDone < options.games ? KeyF5 : KeyEscape);
  };
  // F5 racks inside the next pass's UpdateControl; the new game's clock starts there.
  const auto started = std::chrono::steady_clock::now();
  RunGame();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("summary: %d games, %.1f simulated s in %.2f wall s, ratio %.0f\n", match.gamesDone,
              match.simulatedTotal, wall, match.simulatedTotal / wall);
  return 0;
}

}  // namespace kuvo::sim
