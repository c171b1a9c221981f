// Start-up cost of the textures: each recipe and the whole BuildTextures on the recording device
// (target: all ten textures in 100 ms, peak memory within 40 MiB of the process before the build),
// and the heaviest layer operations against their plain definitions.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/modMain.h"
#include "platform/Platform.h"
#include "platform/testing/RecordingGfx.h"
#include "platform/testing/ScriptedWindow.h"
#include "tests/oracles/modTFScript_reference.h"
#include "textures/modTFScript.h"
#include "textures/modTex.h"

using namespace kuvo;

namespace {

struct RecordingDevice3D {
  RecordingGfx gfx;
  ScriptedWindow window;
  RecordingDevice3D() {
    Host.gfx = &gfx;
    Host.window = &window;
    gfx.SetKeepLog(false);
    CreateDevice3D();
  }
  ~RecordingDevice3D() {
    ReleaseTextures();
    ReleaseDevice3D();
    Host.gfx = nullptr;
    Host.window = nullptr;
  }
};

// Kilobytes of a /proc/self/status field.
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field) + 1));
  return -1;
}

// Resets the peak resident size to the present one, so VmHWM measures what follows.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Runs first, so its one build meets fresh pages as the game's start-up does.
void BM_BuildTexturesFirstInProcess(benchmark::State& state) {
  RecordingDevice3D device;
  for (auto _ : state) {
    state.PauseTiming();
    ReleaseTextures();
    InitLayers(2, 0, 0);
    ResetPeak();
    const long before = StatusKiB("VmRSS:");
    state.ResumeTiming();
    BuildTextures();
    state.PauseTiming();
    state.counters["peak_MiB_above_start"] = static_cast<double>(StatusKiB("VmHWM:") - before) / 1024.0;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BuildTexturesFirstInProcess)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BuildTextures(benchmark::State& state) {
  RecordingDevice3D device;
  for (auto _ : state) {
    BuildTextures();
    benchmark::DoNotOptimize(WoodTexture);
  }
}
BENCHMARK(BM_BuildTextures)->Unit(benchmark::kMillisecond);

template <void (*Recipe)()>
void BM_Recipe(benchmark::State& state) {
  RecordingDevice3D device;
  for (auto _ : state) {
    Recipe();
    benchmark::DoNotOptimize(LayerSize);
  }
}
BENCHMARK(BM_Recipe<MakeLampReflection>)->Name("MakeLampReflection")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recipe<MakePanelLight>)->Name("MakePanelLight")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recipe<MakeSurfaceTextures>)->Name("MakeSurfaceTextures")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recipe<MakeClothAndWood>)->Name("MakeClothAndWood")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recipe<MakeLightMaps>)->Name("MakeLightMaps")->Unit(benchmark::kMillisecond);

// The heavy operations of MakeClothAndWood at N = 1024; argument 0 runs the fast operation, 1 the plain one.
void BM_Operation(benchmark::State& state, void (*fast)(), void (*plain)()) {
  InitLayers(1024, 2, 2);
  FractalNoise(1, 0.0f, 0.8f, 0.7f);
  for (auto _ : state) (state.range(0) ? plain : fast)();
}
#define OPERATION(name, call)                                                                          \
  BENCHMARK_CAPTURE(BM_Operation, name, [] { call; }, [] { reference::call; })->Arg(0)->Arg(1)->Unit( \
      benchmark::kMillisecond)
OPERATION(FractalNoise, FractalNoise(0, 0.0f, 0.8f, 0.7f));
OPERATION(AddEllipse, AddEllipse(0, 0.35f, 0.12f, 1.9f, 7.6f, 1.0f));
OPERATION(BlurHorizontal, BlurHorizontal(1, 1, 0.06f));
OPERATION(BlurVertical, BlurVertical(1, 1, 0.02f));
OPERATION(GradientMagnitude, GradientMagnitude(0, 1));
OPERATION(NormalizeRange, NormalizeRange(0, 1, -0.2f, 1.2f));
OPERATION(ColourMap, ColourMap(0, 1, 0x152000, 0xE07050));
OPERATION(BlendPlanes, BlendPlanes(0, 0, 1, 1));

}  // namespace
