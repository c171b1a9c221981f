// Shared set-up for tests that play on the real table: the testing backends as the Host,
// the cushion outline and the pockets, and a way to play one stroke to rest.
#pragma once
#include <gtest/gtest.h>

#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"
#include "platform/testing/Headless.h"
#include "app/modUtil.h"
#include "sound/modDS.h"

namespace kuvo::testing {

// The table's cushion outline and pocket data, as the geometry reader and BuildModels leave them.
inline void LoadTable() {
  static const float outline[24][2] = {
      {-0.95f, 0.5f}, {-1.0f, 0.55f}, {-1.05f, 0.5f}, {-1.0f, 0.45f}, {-1.0f, -0.45f}, {-1.05f, -0.5f},
      {-1.0f, -0.55f}, {-0.95f, -0.5f}, {-0.0375f, -0.5f}, {-0.0375f, -0.5625f}, {0.0375f, -0.5625f},
      {0.0375f, -0.5f}, {0.95f, -0.5f}, {1.0f, -0.55f}, {1.05f, -0.5f}, {1.0f, -0.45f}, {1.0f, 0.45f},
      {1.05f, 0.5f}, {1.0f, 0.55f}, {0.95f, 0.5f}, {0.0375f, 0.5f}, {0.0375f, 0.5625f}, {-0.0375f, 0.5625f},
      {-0.0375f, 0.5f}};
  CushionPoints.assign(24, Vector3{0, 0, 0});
  for (int k = 0; k < 24; ++k) CushionPoints[k] = {outline[k][0], 0.0f, outline[k][1]};
  CushionPointCount = 24;
  static const Vector3 spots[6] = {{0.966f, 0.78539824f, -0.466f}, {-0.966f, 2.3561947f, -0.466f},
                                   {-0.966f, 3.9269912f, 0.466f},  {0.966f, 5.4977875f, 0.466f},
                                   {0.0f, 1.5707965f, -0.5f},      {0.0f, 4.7123895f, 0.5f}};
  for (int k = 0; k < 6; ++k) {
    PocketSpots[k] = spots[k];
    Matrix4 r;
    MatrixRotationY(r, spots[k].y);
    VecTransformNormal(PocketDirections[k], Vector3{1, 0, 0}, r);
  }
}

class GameFixture : public ::testing::Test {
 protected:
  HeadlessPlatform host;

  void SetUp() override {
    LoadTable();
    StartClock(0.0);
    InitSound();
    IsComputer[1] = false;
    IsComputer[2] = false;
    RackBalls();
  }
  void TearDown() override { ReleaseSound(); }

 public:
  // Takes every ball off the table; a test then places the ones it needs.
  static void ClearTable() {
    for (BallState& b : Balls) b = BallState{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0f, BallOffTable};
  }

  static void Place(int i, float x, float z, Vector3 velocity = {0, 0, 0}) {
    Balls[i] = BallState{{x, 0, z}, velocity, {0, 0, 0}, 0.0f, BallOnTable};
  }

  // Strikes ball `ball` with `velocity` and steps until the end-of-stroke rules have run.
  // Returns the number of steps, or -1 if the balls were still moving after `limit` steps.
  static int PlayOut(int ball, Vector3 velocity, int limit = 200000) {
    SelectedBall = ball;
    Balls[ball].Velocity = velocity;
    BallsAtRest = false;
    OpeningStroke = false;
    for (int step = 1; step <= limit; ++step) {
      StepPhysics();
      if (BallsAtRest) return step;
    }
    return -1;
  }
};

}  // namespace kuvo::testing
