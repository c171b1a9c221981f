// Keys and mouse, the camera, ball selection and the cue.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "app/modMain.h"
#include "tests/GameFixture.h"

using namespace kuvo;
using kuvo::testing::GameFixture;

namespace {

class ControlTest : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    host.window.SetGeometry({100, 50, 801, 600}, 800, 560);
    InitControl();
    // Camera mode once, so the aim terms exist: yaw 0 looks from +z towards -z.
    UpdateControl();
  }

  // Runs `steps` control steps with the mouse moved by (dx, dy) pixels before each.
  void Steps(int steps, int dx = 0, int dy = 0) {
    for (int i = 0; i < steps; ++i) {
      host.window.MoveMouse(dx, dy);
      UpdateControl();
    }
  }

  // The speed of the stroke a human plays by pushing the mouse up `pixelsPerStep` per step.
  float PushStroke(int pixelsPerStep) {
    RackBalls();
    KeyState(-1) = true;
    for (int i = 0; i < 5000 && BallsAtRest; ++i) Steps(1, 0, -pixelsPerStep);
    KeyState(-1) = false;
    return VecLength(Balls[15].Velocity);
  }
};

}  // namespace

TEST_F(ControlTest, InitControlCentresTheCursorAndSetsTheCamera) {
  EXPECT_EQ(CursorHomeX, 500);  // 100 + 400.5, ties to even
  EXPECT_EQ(CursorHomeY, 350);
  EXPECT_FLOAT_EQ(AspectRatio, 800.0f / 560.0f);
  int x, y;
  host.window.GetCursorPos(x, y);
  EXPECT_EQ(x, 500);
  EXPECT_EQ(y, 350);
  EXPECT_EQ(FieldOfView, 1.0f);
  EXPECT_EQ(CameraPitch, 0.3f);
  EXPECT_EQ(ComputerShot.x, 0.01f);
}

TEST_F(ControlTest, MouseIsReadRelativeToHomeAndRecentred) {
  host.window.MoveMouse(10, -20);
  float dx, dy;
  ReadMouse(dx, dy);
  EXPECT_FLOAT_EQ(dx, 0.03f);
  EXPECT_FLOAT_EQ(dy, 0.06f);  // up is positive
  ReadMouse(dx, dy);
  EXPECT_EQ(dx, 0.0f);
}

TEST_F(ControlTest, ZoomAndPitchStayInRangeAndKeyIInvertsPitch) {
  KeyState(-2) = true;
  Steps(50, 0, 100);
  EXPECT_EQ(FieldOfView, 0.1f);
  Steps(50, 0, -1000);
  EXPECT_EQ(FieldOfView, 1.5f);
  float pitch = CameraPitch;
  EXPECT_EQ(CameraYaw, 0.0f);  // zooming leaves the camera angles alone
  KeyState(-2) = false;

  Steps(1, 0, -10);  // mouse up: dy > 0, PitchSign -1 lowers the camera
  EXPECT_LT(CameraPitch, pitch);
  pitch = CameraPitch;
  KeyState(73) = true;
  Steps(1, 0, -10);
  EXPECT_FALSE(KeyState(73));
  EXPECT_GT(CameraPitch, pitch);
  KeyState(73) = true;
  Steps(1);
  pitch = CameraPitch;
  Steps(1, 0, -10);
  EXPECT_LT(CameraPitch, pitch);

  Steps(100, 0, 500);
  EXPECT_EQ(CameraPitch, 1.0f);
  Steps(100, 0, -500);
  EXPECT_EQ(CameraPitch, 0.15f);
  EXPECT_FLOAT_EQ(CueElevation, 0.075f);
  Steps(1, 40, 0);
  EXPECT_FLOAT_EQ(AimSin, std::sin(CameraYaw));
}

TEST_F(ControlTest, CameraFollowsTheAimPointByTheRestingAndTheRollingShare) {
  LookPoint = {0, 0, 0};
  AimPoint = {0.4f, 0, -0.2f};
  BallsAtRest = true;
  UpdateCamera();
  EXPECT_FLOAT_EQ(LookPoint.x, 0.05f * 0.4f);
  BallsAtRest = false;
  UpdateCamera();
  EXPECT_FLOAT_EQ(LookPoint.x, 0.99f * 0.02f + 0.01f * 0.4f);
  EXPECT_FLOAT_EQ(LookPoint.z, 0.99f * 0.05f * -0.2f + 0.01f * -0.2f);
}

// The view and projection at a yaw, pitch, zoom and aspect none of which is a default, against the
// left-handed look-at and perspective worked out here in double precision from the angles alone.
TEST_F(ControlTest, CameraMatricesAtATurnedTiltedZoomedView) {
  host.window.SetGeometry({0, 0, 1000, 700}, 960, 600);
  InitControl();
  const double yaw = 2.0, pitch = 0.7, fov = 0.6, aspect = 1.6;
  CameraYaw = static_cast<float>(yaw);
  CameraPitch = static_cast<float>(pitch);
  FieldOfView = static_cast<float>(fov);
  UpdateControl();  // camera mode with no motion: the angles' sines and cosines
  ASSERT_EQ(AspectRatio, static_cast<float>(aspect));
  LookPoint = AimPoint = {0.25f, 0.0f, -0.125f};
  BallsAtRest = true;
  UpdateCamera();
  const double lx = LookPoint.x, lz = LookPoint.z;  // the follow's own rounding, tested above
  ASSERT_NEAR(lx, 0.25, 1e-7);
  ASSERT_NEAR(lz, -0.125, 1e-7);

  using V = std::array<double, 3>;
  auto sub = [](V a, V b) { return V{a[0] - b[0], a[1] - b[1], a[2] - b[2]}; };
  auto dot = [](V a, V b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
  auto unit = [&](V a) {
    const double l = std::sqrt(dot(a, a));
    return V{a[0] / l, a[1] / l, a[2] / l};
  };
  auto cross = [](V a, V b) {
    return V{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  };
  // The eye orbits at 2 around the look point: the yaw's sine along x, its cosine along z, both
  // scaled by the pitch's cosine, and the pitch's sine as the height.
  const V eye{lx + 2 * std::sin(yaw) * std::cos(pitch), 2 * std::sin(pitch), lz + 2 * std::cos(yaw) * std::cos(pitch)};
  const V target{lx, -0.3 * fov, lz};  // 0.18 below the plane of the ball centres at this zoom
  const V z = unit(sub(target, eye));
  const V x = unit(cross(V{0, 1, 0}, z));
  const V y = cross(z, x);
  const double view[4][4] = {{x[0], y[0], z[0], 0},
                             {x[1], y[1], z[1], 0},
                             {x[2], y[2], z[2], 0},
                             {-dot(x, eye), -dot(y, eye), -dot(z, eye), 1}};
  const double yScale = 1 / std::tan(fov / 2);
  const double projection[4][4] = {{yScale / aspect, 0, 0, 0},
                                   {0, yScale, 0, 0},
                                   {0, 0, 16 / (16 - 0.01), 1},
                                   {0, 0, -0.01 * 16 / (16 - 0.01), 0}};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR((&CameraEye.x)[i], eye[i], 1e-6) << "eye " << i;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(ViewMatrix.m[r][c], view[r][c], 2e-6) << "view " << r << c;
      EXPECT_NEAR(ProjectionMatrix.m[r][c], projection[r][c], 4e-6 * std::fabs(projection[r][c]))
          << "projection " << r << c;
    }
  }
}

TEST_F(ControlTest, SelectionKeysSearchAWedgeAwayFromTheCamera) {
  ClearTable();
  OpeningStroke = false;
  Place(15, 0.5f, 0.0f);
  Place(9, 0.5f, -0.3f);    // straight ahead
  Place(2, 0.8f, -0.2f);    // ahead but outside the 45-degree wedge
  Place(4, 0.5f, 0.3f);     // behind
  SelectedBall = 15;
  SelectBall(0, 0);
  KeyState(87) = true;  // W
  Steps(1);
  EXPECT_EQ(SelectedBall, 9);
  EXPECT_FALSE(KeyState(87));
  EXPECT_EQ(AimPoint.z, -0.3f);
  KeyState(40) = true;  // Down
  Steps(1);
  EXPECT_EQ(SelectedBall, 15);  // the nearest towards the camera
  KeyState(68) = true;  // D: right on screen is -x when looking towards -z; nothing there
  Steps(1);
  EXPECT_EQ(SelectedBall, 15);
  KeyState(37) = true;  // Left
  Steps(1);
  EXPECT_EQ(SelectedBall, 2);
}

TEST_F(ControlTest, SelectionReachTiesAndBlockedKeys) {
  ClearTable();
  OpeningStroke = false;
  Place(15, 0.0f, 0.0f);
  Place(6, 0.0f, -2.3f);  // in the wedge but beyond the reach of one press
  SelectedBall = 15;
  SelectBall(0, 0);
  SelectBall(-1, 0);
  EXPECT_EQ(SelectedBall, 15);

  Place(7, 0.1f, -0.3f);
  Place(3, -0.1f, -0.3f);  // the same distance: the lower index wins
  SelectBall(-1, 0);
  EXPECT_EQ(SelectedBall, 3);

  // While the balls of one's own stroke move, a key is consumed without effect.
  BallsAtRest = false;
  KeyState(83) = true;
  Steps(1);
  EXPECT_FALSE(KeyState(83));
  EXPECT_EQ(SelectedBall, 3);

  // During the computer's turn it stays set for the human's next turn.
  BallsAtRest = true;
  IsComputer[1] = true;
  KeyState(83) = true;
  Steps(1);
  EXPECT_TRUE(KeyState(83));
  IsComputer[1] = false;
  Steps(1);
  EXPECT_FALSE(KeyState(83));
  EXPECT_EQ(SelectedBall, 15);

  // On the opening stroke the keys do nothing but are consumed.
  OpeningStroke = true;
  KeyState(65) = true;
  Steps(1);
  EXPECT_FALSE(KeyState(65));
  EXPECT_EQ(SelectedBall, 15);
}

TEST_F(ControlTest, PushSpeedMakesTheStroke) {
  float slow = PushStroke(1);
  EXPECT_FALSE(BallsAtRest);
  EXPECT_GT(slow, 0.0f);
  float fast = PushStroke(12);
  EXPECT_GT(fast, 5.0f * slow);
  // The stroke leaves away from the camera: yaw 0 sends it towards -z.
  EXPECT_LT(Balls[15].Velocity.z, 0.0f);
  EXPECT_NEAR(Balls[15].Velocity.x, 0.0f, 1e-9);
  EXPECT_EQ(CueTarget, -0.5f);
  EXPECT_EQ(AimPoint.z, 0.0f);
}

TEST_F(ControlTest, ReleasingTheButtonReturnsTheCueWithoutAStroke) {
  KeyState(-1) = true;
  Steps(60, 0, -3);
  EXPECT_GT(CueTarget, -0.2f);
  EXPECT_LT(CuePosition, 0.0f);
  KeyState(-1) = false;
  Steps(3000);
  EXPECT_TRUE(BallsAtRest);
  EXPECT_NEAR(CueTarget, -0.5f, 1e-3);
  EXPECT_NEAR(CuePosition, -0.5f, 1e-3);
  EXPECT_EQ(VecLength(Balls[15].Velocity), 0.0f);
}

TEST_F(ControlTest, ComputerChoosesAt800AndPushesBelowZero) {
  IsComputer[1] = true;
  RackBalls();
  int strokeAt = -1;
  for (int step = 1; step <= 3000 && strokeAt < 0; ++step) {
    UpdateControl();
    if (step == 1200) {
      EXPECT_EQ(ComputerDelay, 800);
      EXPECT_EQ(ComputerShot.y, 4.0f);  // the break has been chosen
      EXPECT_FLOAT_EQ(ComputerCueEye.x, 0.5f + ComputerShot.x * 2.07f * -0.96f);
      EXPECT_FLOAT_EQ(ComputerCueEye.y, 0.414f);
    }
    if (!BallsAtRest) strokeAt = step;
  }
  ASSERT_GT(strokeAt, 2000);
  // The power is a quarter of the shot's, whatever the push speed.
  EXPECT_FLOAT_EQ(Balls[15].Velocity.x, 0.005f * ComputerShot.x);
  EXPECT_FLOAT_EQ(Balls[15].Velocity.z, 0.005f * ComputerShot.z);
  IsComputer[1] = false;
}

// The projection, the view and the cue's frame are kept from frame to frame while their inputs are the same
// bits. A change of any one input must still reach exactly the matrices it feeds, and undoing it must give
// the first frame's bits again.
TEST_F(ControlTest, KeptCameraAndCueMatricesFollowAChangeOfAnyOneInput) {
  struct Frame {
    Matrix4 projection, view, cue;
  };
  auto frame = [] {
    UpdateCamera();
    return Frame{ProjectionMatrix, ViewMatrix, CueMatrix};
  };
  auto same = [](const Matrix4& a, const Matrix4& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  struct Change {
    const char* name;
    float* input;
    float value;
    bool projection, view, cue;
  };
  BallsAtRest = false;  // the computer's cue keeps its target while the balls roll
  LookPoint = AimPoint = {0.25f, 0.0f, -0.125f};
  ComputerCueTarget = {0.5f, 0.0f, 0.25f};
  for (bool computer : {false, true}) {
    IsComputer[CurrentPlayer] = computer;
    const Frame first = frame();
    const Change changes[] = {
        {"field of view", &FieldOfView, 0.7f, true, true, false},
        {"aspect", &AspectRatio, 1.25f, true, false, false},
        {"pitch", &PitchSin, 0.5f, false, true, false},
        {"look point", &LookPoint.z, 0.125f, false, true, !computer},
        {"cue elevation", &CueElevSin, 0.25f, false, false, !computer},
        {"computer's cue eye", &ComputerCueEye.z, 0.5f, false, false, computer},
        {"computer's cue target", &ComputerCueTarget.y, 0.01f, false, false, computer},
    };
    for (const Change& change : changes) {
      const float before = *change.input;
      *change.input = change.value;
      AimPoint = LookPoint;
      const Frame changed = frame();
      EXPECT_EQ(!same(changed.projection, first.projection), change.projection) << change.name << computer;
      EXPECT_EQ(!same(changed.view, first.view), change.view) << change.name << computer;
      EXPECT_EQ(!same(changed.cue, first.cue), change.cue) << change.name << computer;
      *change.input = before;
      AimPoint = LookPoint;
      const Frame again = frame();
      EXPECT_TRUE(same(again.projection, first.projection) && same(again.view, first.view) &&
                  same(again.cue, first.cue))
          << change.name << computer;
    }
  }
  IsComputer[CurrentPlayer] = false;
}

TEST_F(ControlTest, CueTipRestsBehindTheLookPointAndTouchesTheBallAtTheStroke) {
  LookPoint = AimPoint = Balls[15].Position;
  CuePosition = -0.5f;
  UpdateCamera();
  Vector3 tip{CueMatrix.m[3][0], CueMatrix.m[3][1], CueMatrix.m[3][2]}, offset;
  VecSubtract(offset, tip, LookPoint);
  EXPECT_NEAR(VecLength(offset), 0.5325f, 1e-5);
  CuePosition = 0.0f;
  UpdateCamera();
  tip = {CueMatrix.m[3][0], CueMatrix.m[3][1], CueMatrix.m[3][2]};
  VecSubtract(offset, tip, LookPoint);
  EXPECT_NEAR(VecLength(offset), 0.0325f, 1e-5);
}

TEST_F(ControlTest, EscStopsTheLoopAndF5Racks) {
  Running = true;
  Scores[1] = 4;
  KeyState(116) = true;
  Steps(1);
  EXPECT_EQ(Scores[1], 0);
  EXPECT_FALSE(KeyState(116));
  KeyState(27) = true;
  Steps(1);
  EXPECT_FALSE(Running);
  EXPECT_TRUE(KeyState(27));  // Esc is never cleared
}
