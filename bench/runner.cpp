// One sixtieth of a second of a master-against-master game as kuvo-sim plays it: the normal-play pass of
// the run loop (seventeen 1 ms steps of control, physics and sound, then the camera and one frame on the
// recording device in counting mode), the games going on from rack to rack. 1/60 s divided by its time
// is the runner's rate; bench_physics and bench_recorder take the two halves apart.
#include <benchmark/benchmark.h>

#include "ai/modAI.h"
#include "app/modMain.h"
#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"
#include "platform/testing/Headless.h"
#include "sound/modDS.h"

using namespace kuvo;

namespace {

void BM_SimulatedSixtieth(benchmark::State& state) {
  HeadlessPlatform host(40000.0);
  IsComputer[1] = IsComputer[2] = true;
  Difficulty = 0.01f;  // master
  StartUp();
  long racks = 0;
  for (auto _ : state) {
    host.clock.Advance(1.0 / 60.0);
    ClockNow = ReadClock();
    PlayPass();
    if (GameOver) {
      RackBalls();
      ++racks;
    }
  }
  state.counters["games"] = static_cast<double>(racks);
  // Simulated seconds per second.
  state.counters["ratio"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / 60.0, benchmark::Counter::kIsRate);
  ShutDown();
  IsComputer[1] = false;
}
BENCHMARK(BM_SimulatedSixtieth)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace
