// One frame of the racked table on the recording device, as kuvo-sim renders 60 of them a simulated
// second: counting only (the runner's mode), and with every call kept (the tests' mode). Its cost sets
// how far the headless runner outpaces real time; compare it with 17 steps of bench_physics.
#include <benchmark/benchmark.h>

#include "app/modMain.h"
#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "platform/testing/Headless.h"
#include "sound/modDS.h"
#include "textures/modShader.h"
#include "textures/modTex.h"

using namespace kuvo;

namespace {

void BM_RecordedFrame(benchmark::State& state) {
  HeadlessPlatform host(43210.0);
  bool keepLog = state.range(0) != 0;
  host.gfx.SetKeepLog(keepLog);
  IsComputer[1] = IsComputer[2] = false;
  StartUp();
  UpdateControl();
  UpdateCamera();
  host.gfx.ClearLog();
  long drawsBefore = host.gfx.Count("DrawIndexedPrimitive");
  for (auto _ : state) {
    RenderFrame();
    if (keepLog) host.gfx.ClearLog();
  }
  state.counters["draws"] = static_cast<double>(host.gfx.Count("DrawIndexedPrimitive") - drawsBefore) /
                            static_cast<double>(state.iterations());
  ShutDown();
}
// Argument: 0 counts calls only, 1 keeps the log.
BENCHMARK(BM_RecordedFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
