// Control and rules at the values only the rules of the game give: cursor rounding, the mouse at a zoom,
// the key pairs, the cue's clamps and gating, the aim point, the computer's cue, and what a rack resets.
#include <gtest/gtest.h>

#include <cmath>

#include "ai/modAI.h"
#include "app/modMain.h"
#include "tests/GameFixture.h"

using namespace kuvo;
using kuvo::testing::GameFixture;

namespace {

class ControlRulesTest : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    // Centre 100 + 400.5 and 51 + 300.5: halves to even give 500 and 352, truncation 500 and 351,
    // halves away from zero 501 and 352.
    host.window.SetGeometry({100, 51, 801, 601}, 800, 560);
    InitControl();
    UpdateControl();
  }
  void HumanAtRestAfterTheBreak() {
    IsComputer[1] = IsComputer[2] = false;
    CurrentPlayer = 1;
    BallsAtRest = true;
    OpeningStroke = false;
  }
};

TEST_F(ControlRulesTest, CursorHomeRoundsHalvesToEvenAndTheMouseScalesWithTheZoom) {
  EXPECT_EQ(CursorHomeX, 500);
  EXPECT_EQ(CursorHomeY, 352);
  // Centres at a half on either side of zero, and whose even neighbour lies below and above.
  // {left or top, width or height, home}: truncation, halves up and halves away from zero each miss one.
  const int cases[][3] = {{0, 1, 0}, {0, 3, 2}, {-1602, 801, -1202}, {-1601, 801, -1200}, {-3, 4, -1}};
  for (const auto& [origin, size, home] : cases) {
    SCOPED_TRACE(::testing::Message() << origin << " + " << size << " / 2");
    host.window.SetGeometry({origin, origin, size, size}, 8, 8);
    InitControl();
    EXPECT_EQ(CursorHomeX, home);
    EXPECT_EQ(CursorHomeY, home);
    int x, y;
    host.window.GetCursorPos(x, y);
    EXPECT_EQ(x, home);
    EXPECT_EQ(y, home);
  }
  host.window.SetGeometry({100, 51, 801, 601}, 800, 560);
  InitControl();
  FieldOfView = 0.5f;
  host.window.SetCursorPos(CursorHomeX + 10, CursorHomeY - 4);
  float dx = 0, dy = 0;
  ReadMouse(dx, dy);
  EXPECT_EQ(dx, 0.003f * 10.0f * 0.5f);
  EXPECT_EQ(dy, -0.003f * -4.0f * 0.5f);
  int x, y;
  host.window.GetCursorPos(x, y);
  EXPECT_EQ(x, 500);
  EXPECT_EQ(y, 352);
}

// Every direction pair, by either key or both: one step clears both flags of that pair and no other flag,
// whatever later pairs and unrelated keys hold; the first pair held wins and the rest wait their turn.
TEST_F(ControlRulesTest, KeyPairsClearBothTheirFlagsAndNoOthers) {
  HumanAtRestAfterTheBreak();
  const int pairs[4][2] = {{87, 38}, {83, 40}, {65, 37}, {68, 39}};  // W/Up, S/Down, A/Left, D/Right
  const int bystanders[] = {72, 81, 69, 36, 33, 34};  // H, Q, E, Home, Page Up, Page Down: nothing takes them
  for (int p = 0; p < 4; ++p) {
    for (int pressed : {1, 2, 3}) {  // the letter, the arrow, both
      SCOPED_TRACE(::testing::Message() << "pair " << p << ", keys " << pressed);
      for (const auto& pair : pairs)
        for (int key : pair) KeyState(key) = false;
      if (pressed & 1) KeyState(pairs[p][0]) = true;
      if (pressed & 2) KeyState(pairs[p][1]) = true;
      for (int q = p + 1; q < 4; ++q) KeyState(pairs[q][q % 2]) = true;  // one key of each later pair
      for (int key : bystanders) KeyState(key) = true;
      UpdateControl();
      EXPECT_FALSE(KeyState(pairs[p][0]));
      EXPECT_FALSE(KeyState(pairs[p][1]));
      for (int q = 0; q < 4; ++q) {
        if (q == p) continue;
        EXPECT_EQ(KeyState(pairs[q][q % 2]), q > p) << "pair " << q;
        EXPECT_FALSE(KeyState(pairs[q][1 - q % 2])) << "pair " << q;
      }
      for (int key : bystanders) EXPECT_TRUE(KeyState(key)) << "key " << key;
    }
  }
  // The later pairs left waiting are taken one a step, in order.
  for (const auto& pair : pairs) KeyState(pair[0]) = KeyState(pair[1]) = false;
  KeyState(40) = KeyState(65) = KeyState(39) = true;
  UpdateControl();
  EXPECT_FALSE(KeyState(40));
  EXPECT_TRUE(KeyState(65));
  UpdateControl();
  EXPECT_FALSE(KeyState(65));
  EXPECT_TRUE(KeyState(39));
  UpdateControl();
  EXPECT_FALSE(KeyState(39));
  // On the computer's turn the keys wait.
  IsComputer[1] = true;
  KeyState(87) = true;
  UpdateControl();
  EXPECT_TRUE(KeyState(87));
}

TEST_F(ControlRulesTest, CueClampsAndWhenItMoves) {
  HumanAtRestAfterTheBreak();
  // Pulled far back with the left button: the target stops at -1, and so does the position.
  KeyState(-1) = true;
  for (int i = 0; i < 400; ++i) {
    host.window.MoveMouse(0, 100);
    UpdateControl();
  }
  EXPECT_EQ(CueTarget, -1.0f);
  EXPECT_GE(CuePosition, -1.0f);
  // While the balls move the mouse neither pushes nor relaxes the cue.
  BallsAtRest = false;
  const float held = CueTarget;
  host.window.MoveMouse(0, -50);
  UpdateControl();
  EXPECT_EQ(CueTarget, held);
  // The right button only zooms: camera and cue stay.
  BallsAtRest = true;
  KeyState(-2) = true;
  const float yaw = CameraYaw, pitch = CameraPitch, fov = FieldOfView;
  host.window.MoveMouse(7, -3);
  UpdateControl();
  EXPECT_EQ(CameraYaw, yaw);
  EXPECT_EQ(CameraPitch, pitch);
  EXPECT_EQ(CueTarget, held);
  EXPECT_EQ(FieldOfView, fov + -0.003f * -3.0f * fov);
  KeyState(-2) = false;
  // On the computer's turn the held left button does nothing: the mouse turns the camera instead.
  IsComputer[1] = true;
  ComputerDelay = 5000;
  const float target = CueTarget;
  host.window.MoveMouse(5, -20);
  UpdateControl();
  EXPECT_EQ(CueTarget, target);
  EXPECT_NE(CameraYaw, yaw);
  KeyState(-1) = false;
}

TEST_F(ControlRulesTest, AimPointAfterAStrokeAndOnTheComputersTurn) {
  HumanAtRestAfterTheBreak();
  SelectedBall = 3;
  SelectBall(0, 0);
  EXPECT_EQ(AimPoint.x, Balls[3].Position.x);
  Strike(0.2f);
  EXPECT_EQ(AimPoint.x, 0.0f);
  EXPECT_EQ(AimPoint.z, 0.0f);
  // The computer does not move the human's aim point.
  BallsAtRest = true;
  IsComputer[1] = true;
  SelectedBall = 5;
  SelectBall(0, 0);
  EXPECT_EQ(AimPoint.x, 0.0f);
}

TEST_F(ControlRulesTest, SelectionReachesJustUnderTheSquareRootOfFive) {
  HumanAtRestAfterTheBreak();
  ClearTable();
  CameraYaw = 0.0f;
  host.window.SetCursorPos(CursorHomeX, CursorHomeY);
  UpdateControl();  // yaw 0: W looks along -z
  Place(0, 0.0f, 0.0f);
  Place(1, 0.0f, -2.2f);  // 2.2^2 = 4.84 < 5: reached
  Place(2, 0.1f, 0.4f);
  SelectedBall = 0;
  SelectBall(0, 0);
  SelectBall(-1, 0);
  EXPECT_EQ(SelectedBall, 1);
  Place(1, 0.0f, -2.25f);  // 5.0625: beyond
  SelectedBall = 0;
  SelectBall(0, 0);
  SelectBall(-1, 0);
  EXPECT_EQ(SelectedBall, 0);
}

TEST_F(ControlRulesTest, ComputerCueEyeAndTargetForTheWorkedExample) {
  ClearTable();
  Place(0, 0.866f, -0.366f);
  Place(15, 0.5f, 0.0f);
  IsComputer[1] = true;
  CurrentPlayer = 1;
  BallsAtRest = true;
  OpeningStroke = false;
  Difficulty = 0.0f;
  ComputerDelay = 801;
  UpdateControl();
  ASSERT_EQ(SelectedBall, 15);
  // Direction (1, -1) / sqrt 2, power sqrt(0.594) + 0.3; the eye 1.9872 behind the ball, 0.414 up.
  EXPECT_NEAR(ComputerShot.x, 0.70710678f, 2e-6f);
  EXPECT_NEAR(ComputerShot.z, -0.70710678f, 2e-6f);
  EXPECT_NEAR(ComputerShot.y, 1.071f, 1e-3f);
  EXPECT_NEAR(ComputerCueEye.x, 0.5f - 1.9872f * 0.70710678f, 1e-5f);
  EXPECT_EQ(ComputerCueEye.y, 0.414f);
  EXPECT_NEAR(ComputerCueEye.z, 1.9872f * 0.70710678f, 1e-5f);
  UpdateCamera();
  EXPECT_EQ(ComputerCueTarget.x, 0.5f);
  EXPECT_EQ(ComputerCueTarget.z, 0.0f);
}

// The generator and the rack written out from their definitions.
TEST_F(ControlRulesTest, RackPlacesEveryBallFromTheSeedAndResetsTheGame) {
  host.clock.Advance(12345.678);
  for (BallState& b : Balls) b = BallState{{9, 9, 9}, {1, 1, 1}, {2, 2, 2}, 3.0f, BallDropping};
  Scores[1] = 5;
  Scores[2] = 6;
  SelectedBall = 4;
  CurrentPlayer = 2;
  PocketedCount = 3;
  StrokeContact = true;
  GameOver = true;
  BallsAtRest = false;
  OpeningStroke = false;
  ComputerCueEye = {7, 7, 7};
  CuePosition = CueTarget = 0.25f;
  ComputerDelay = 5;
  FieldOfView = 0.7f;
  PitchSign = 1;
  IsComputer[1] = false;
  const double seconds = Host.clock->TimeOfDay();
  RackBalls();
  double state = static_cast<float>(seconds);
  auto next = [&] {
    state = state * 1.314 + 1.737;
    if (state > 983732.3456) state = state * 0.3141;
    return static_cast<double>(static_cast<float>(state - std::floor(state)));
  };
  for (int row = 0; row <= 4; ++row) {
    for (int j = 0; j <= row; ++j) {
      const int n = row * (row + 1) / 2 + j;
      const double a = next(), b = next();
      EXPECT_EQ(Balls[n].Position.x, static_cast<float>(-0.5 - 0.057 * row + 0.0003 * (a - 0.5))) << n;
      EXPECT_EQ(Balls[n].Position.z, static_cast<float>(0.066 * j - 0.033 * row + 0.0003 * (b - 0.5))) << n;
      EXPECT_EQ(Balls[n].Position.y, 0.0f);
    }
  }
  EXPECT_EQ(Balls[15].Position.x, 0.5f);
  EXPECT_EQ(Balls[15].Position.z, 0.0f);
  for (const BallState& b : Balls) {
    EXPECT_EQ(b.Status, BallOnTable);
    EXPECT_EQ(b.Spare, 0.0f);
    EXPECT_EQ(VecLengthSq(b.Velocity), 0.0f);
    EXPECT_EQ(VecLengthSq(b.RollVelocity), 0.0f);
  }
  EXPECT_EQ(Scores[1], 0);
  EXPECT_EQ(Scores[2], 0);
  EXPECT_EQ(SelectedBall, 15);
  EXPECT_EQ(CurrentPlayer, 1);
  EXPECT_EQ(PocketedCount, 0);
  EXPECT_FALSE(StrokeContact);
  EXPECT_FALSE(GameOver);
  EXPECT_TRUE(BallsAtRest);
  EXPECT_TRUE(OpeningStroke);
  EXPECT_EQ(ComputerCueEye.x, 2.0f);
  EXPECT_EQ(ComputerCueEye.y, 0.2f);
  EXPECT_EQ(ComputerCueEye.z, 0.0f);
  EXPECT_EQ(CuePosition, -0.5f);
  EXPECT_EQ(CueTarget, -0.5f);
  EXPECT_EQ(ComputerDelay, 2000);
  EXPECT_EQ(SimTime, ReadClock());
  EXPECT_EQ(AimPoint.x, 0.5f);
  // The camera carries over.
  EXPECT_EQ(FieldOfView, 0.7f);
  EXPECT_EQ(PitchSign, 1);
}

}  // namespace
