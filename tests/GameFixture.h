// Shared set-up for tests that play on the real table: the testing backends as the Host, the
// models (which give the cushion outline and the pockets), sound, and a way to play one stroke to rest.
#pragma once
#include <gtest/gtest.h>

#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"
#include "platform/testing/Headless.h"
#include "app/modMain.h"
#include "app/modUtil.h"
#include "sound/modDS.h"

namespace kuvo::testing {

class GameFixture : public ::testing::Test {
 protected:
  HeadlessPlatform host;

  void SetUp() override {
    // The cushion outline and the pockets come from the real geometry build.
    CreateDevice3D();
    BuildModels();
    StartClock(0.0);
    InitSound();
    IsComputer[1] = false;
    IsComputer[2] = false;
    RackBalls();
  }
  void TearDown() override {
    ReleaseSound();
    ReleaseModels();
    ReleaseDevice3D();
  }

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
