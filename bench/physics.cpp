// The 1 ms physics step: sixteen balls moving, sixteen at rest, and a full-power break to rest.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "app/modMain.h"
#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "physics/modPhys.h"
#include "platform/testing/Headless.h"
#include "sound/modDS.h"
#include "geometry/modModels.h"

using namespace kuvo;

namespace {

struct Table {
  HeadlessPlatform host{43210.0};
  Table() {
    CreateDevice3D();
    BuildModels();
    StartClock(0.0);
    InitSound();
    RackBalls();
  }
  ~Table() {
    ReleaseSound();
    ReleaseModels();
    ReleaseDevice3D();
  }
};

// Every ball slides off from a loose grid in its own direction at up to 2 units per second.
void ScatterMovingBalls() {
  for (int i = 0; i < BallCount; ++i) {
    float angle = 0.7f * static_cast<float>(i);
    Balls[i] = BallState{{-0.75f + 0.1f * static_cast<float>(i), 0.0f, (i % 2 ? 0.15f : -0.15f)},
                         {0.002f * std::cos(angle), 0.0f, 0.002f * std::sin(angle)},
                         {0.0f, 0.0f, 0.0f},
                         0.0f,
                         BallOnTable};
  }
  BallsAtRest = false;
}

void BM_StepPhysicsMoving(benchmark::State& state) {
  Table table;
  ScatterMovingBalls();
  BallState start[BallCount];
  std::memcpy(start, Balls, sizeof Balls);
  int step = 0;
  for (auto _ : state) {
    // Short bursts from one start, so the balls keep moving and the work per step stays alike.
    if (++step == 200) {
      std::memcpy(Balls, start, sizeof Balls);
      step = 0;
    }
    StepPhysics();
  }
}
BENCHMARK(BM_StepPhysicsMoving);

void BM_StepPhysicsAtRest(benchmark::State& state) {
  Table table;
  ScatterMovingBalls();
  // Play the balls out, then let the roll velocities decay for seconds, as while a player aims.
  while (!BallsAtRest) StepPhysics();
  for (int step = 0; step < static_cast<int>(state.range(0)); ++step) StepPhysics();
  for (auto _ : state) StepPhysics();
}
BENCHMARK(BM_StepPhysicsAtRest)->Arg(0)->Arg(1000)->Arg(10000);

void BM_BreakToRest(benchmark::State& state) {
  Table table;
  long steps = 0;
  for (auto _ : state) {
    RackBalls();
    // The computer's break: power 4 x 0.25 straight at the rack.
    SelectedBall = 15;
    Balls[15].Velocity = {-0.005f, 0.0f, 0.0001f};
    BallsAtRest = false;
    OpeningStroke = false;
    steps = 0;
    while (!BallsAtRest) {
      StepPhysics();
      ++steps;
    }
  }
  state.counters["steps"] = static_cast<double>(steps);
}
BENCHMARK(BM_BreakToRest)->Unit(benchmark::kMillisecond);

}  // namespace
