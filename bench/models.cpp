// Start-up cost of every model: BuildModels on the recording device (target: under 2 ms).
#include <benchmark/benchmark.h>

#include "app/modMain.h"
#include "geometry/modModels.h"
#include "platform/Platform.h"
#include "platform/testing/RecordingGfx.h"
#include "platform/testing/ScriptedWindow.h"

namespace {

void BM_BuildModels(benchmark::State& state) {
  using namespace kuvo;
  RecordingGfx gfx;
  ScriptedWindow window;
  Host.gfx = &gfx;
  Host.window = &window;
  gfx.SetKeepLog(state.range(0) != 0);
  CreateDevice3D();
  for (auto _ : state) {
    BuildModels();
    benchmark::DoNotOptimize(BallMesh.get());
    state.PauseTiming();
    ReleaseModels();
    gfx.ClearLog();
    state.ResumeTiming();
  }
  ReleaseDevice3D();
  Host.gfx = nullptr;
  Host.window = nullptr;
}
// Argument: 1 keeps the call log, 0 counts calls only (as kuvo-sim runs).
BENCHMARK(BM_BuildModels)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
