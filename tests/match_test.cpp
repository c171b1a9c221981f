// Whole games between two computer players on the real run loop: they end with no input, and the
// same time of day replays the same game stroke for stroke.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "ai/modAI.h"
#include "app/modMain.h"
#include "control/modCtrl.h"
#include "physics/modPhys.h"
#include "platform/testing/Headless.h"

using namespace kuvo;

namespace {

struct GameResult {
  std::uint64_t hash;
  int winner;
  int strokes;
  double simulatedSeconds;
};

std::uint64_t Fnv(std::uint64_t hash, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

// Plays one game from a rack made at `timeOfDay`, a 60 Hz frame per pass, and hashes how it ended.
GameResult PlayComputerGame(double timeOfDay, float difficulty) {
  HeadlessPlatform host(timeOfDay);
  IsComputer[1] = IsComputer[2] = true;
  Difficulty = difficulty;
  GameResult result{14695981039346656037ull, 0, 0, 0.0};
  bool wasAtRest = true;
  host.window.script = [&](long pass, ScriptedWindow& window) {
    if (pass > 2'000'000) throw std::runtime_error("the game did not end");
    host.clock.Advance(1.0 / 60.0);
    if (wasAtRest && !BallsAtRest) ++result.strokes;
    wasAtRest = BallsAtRest;
    if (GameOver) window.PressKey(27);
  };
  RunGame();
  result.winner = CurrentPlayer;
  result.simulatedSeconds = SimTime;
  result.hash = Fnv(result.hash, Balls, sizeof Balls);
  result.hash = Fnv(result.hash, Scores, sizeof Scores);
  result.hash = Fnv(result.hash, &result.strokes, sizeof result.strokes);
  result.hash = Fnv(result.hash, &SimTime, sizeof SimTime);
  IsComputer[1] = false;
  Difficulty = 0.035f;
  return result;
}

}  // namespace

TEST(MatchTest, ComputerGameEndsAndReplaysExactlyFromItsSeed) {
  GameResult first = PlayComputerGame(45000.0, 0.035f);
  EXPECT_TRUE(GameOver);
  EXPECT_GT(Scores[first.winner], 7);
  EXPECT_LE(Scores[1] + Scores[2], 16);
  EXPECT_GT(first.strokes, 2);
  GameResult again = PlayComputerGame(45000.0, 0.035f);
  EXPECT_EQ(again.hash, first.hash);
  EXPECT_EQ(again.strokes, first.strokes);
  GameResult other = PlayComputerGame(45001.0, 0.035f);
  EXPECT_NE(other.hash, first.hash);
  // Pinned: any change to the arithmetic of the physics, the rules or the computer player moves it.
  EXPECT_EQ(first.hash, 3478707358390207240u) << "strokes " << first.strokes << " winner " << first.winner;
}
