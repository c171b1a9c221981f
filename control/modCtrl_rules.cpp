// The rack, the end-of-stroke rules and the scores.
#include "app/modMain.h"
#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "physics/modPhys.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "sound/modDS.h"
#include "textures/modTex.h"

namespace kuvo {

std::int32_t CurrentPlayer = 1;
std::string PlayerNames[3] = {"", "Player1", "Player2"};
bool IsComputer[3] = {false, false, true};
std::int32_t Scores[3];
bool StrokeContact = false;
std::int32_t PocketedCount = 0;

namespace {

// The first player past this score wins.
constexpr std::int32_t ScoreToPass = 7;

void PlaceRack() {
  Balls[15].Position = {0.5f, 0.0f, 0.0f};
  // Fifteen balls in five rows receding towards -x, 0.066 apart within a row (the diameter is 0.065),
  // each nudged by at most 0.00015 so the rack is never exactly symmetric.
  for (int row = 0; row <= 4; ++row) {
    for (int j = 0; j <= row; ++j) {
      int n = row * (row + 1) / 2 + j;
      double a = NextNoise();
      double b = NextNoise();
      Balls[n].Position = {static_cast<float>(-0.5 - 0.057 * row + 0.0003 * (a - 0.5)), 0.0f,
                           static_cast<float>(0.066 * j - 0.033 * row + 0.0003 * (b - 0.5))};
    }
  }
}

}  // namespace

void RackBalls() {
  for (BallState& ball : Balls) {
    ball.Velocity = {0.0f, 0.0f, 0.0f};
    ball.RollVelocity = {0.0f, 0.0f, 0.0f};
    ball.Spare = 0.0f;
    ball.Status = BallOnTable;
  }
  SeedNoise(static_cast<float>(Host.clock->TimeOfDay()));
  PlaceRack();
  BallsAtRest = true;
  OpeningStroke = true;
  Scores[1] = 0;
  Scores[2] = 0;
  SelectedBall = 15;
  CurrentPlayer = 1;
  PocketedCount = 0;
  StrokeContact = false;
  GameOver = false;
  RedrawHud(false);
  ComputerCueEye = {2.0f, 0.2f, 0.0f};
  CuePosition = -0.5f;
  CueTarget = -0.5f;
  ComputerDelay = 2000;
  SimTime = ReadClock();
  SelectBall(0, 0);
}

void EndOfStroke() {
  ComputerDelay = 1000;
  if (StrokeContact) {
    if (PocketedCount > 0) {
      Scores[CurrentPlayer] += PocketedCount;
      PlayScore();  // the striker plays again
    } else {
      CurrentPlayer = 3 - CurrentPlayer;
    }
  } else {
    // A foul: the points go to the opponent, who plays next.
    PlayFoul();
    CurrentPlayer = 3 - CurrentPlayer;
    if (PocketedCount > 0) {
      Scores[CurrentPlayer] += PocketedCount;
    } else {
      Balls[SelectedBall].Status = BallOffTable;
      Scores[CurrentPlayer] += 1;
    }
  }
  RedrawHud(false);
  if (Scores[1] > ScoreToPass || Scores[2] > ScoreToPass) GameOver = true;
  BallsAtRest = true;
  PocketedCount = 0;
  StrokeContact = false;
  SelectBall(0, 0);
}

}  // namespace kuvo
