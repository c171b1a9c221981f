// Frames on the OpenGL device in a 1280 × 720 window, unpaced with and without 4 samples, and paced as
// the game runs; the start-up from the device to the first presented frame. Needs a display (Xvfb with
// Mesa here). CPU times are the whole process's, llvmpipe's threads included.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <memory>

#include "app/modMain.h"
#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "platform/Platform.h"
#include "platform/freetype/FreeTypeCanvas.h"
#include "platform/gl/GlGfx.h"
#include "platform/sdl/SdlWindow.h"
#include "platform/testing/RecordingAudio.h"
#include "platform/testing/VirtualClock.h"
#include "sound/modDS.h"
#include "textures/modShader.h"
#include "textures/modTex.h"

using namespace kuvo;

namespace {

struct Screen {
  VirtualClock clock;
  RecordingAudio audio{RecordingAudio::Mode::CountOnly};
  SdlWindow window{"Kuvo benchmark", 1280, 720};
  GlGfx gfx{window};
  FreeTypeCanvas text;

  explicit Screen(int samples) {
    gfx.SetUnpaced(true);
    gfx.LimitSamples(samples);
    Host = Platform{};
    Host.clock = &clock;
    Host.window = &window;
    Host.gfx = &gfx;
    Host.audio = &audio;
    Host.text = &text;
    IsComputer[1] = IsComputer[2] = false;
  }
  ~Screen() { Host = Platform{}; }
};

// What RunGame does before its first pass, then the first pass's camera and frame.
void StartUpToFirstFrame() {
  StartClock(0.0);
  CurrentPlayer = 1;
  InitControl();
  CreateDevice3D();
  BuildTextures();
  BuildModels();
  CreateShaders();
  InitSound();
  RackBalls();
  UpdateControl();
  UpdateCamera();
  RenderFrame();
}

void ShutDown() {
  ReleaseSound();
  ReleaseShaders();
  ReleaseModels();
  ReleaseTextures();
  ReleaseDevice3D();
}

void BM_Frame(benchmark::State& state) {
  Screen screen(static_cast<int>(state.range(0)));
  StartUpToFirstFrame();
  for (auto _ : state) {
    UpdateCamera();
    RenderFrame();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["samples"] = BackBufferSamples(Device);
  ShutDown();
}
BENCHMARK(BM_Frame)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(
    3.0);

// Paced to the display's refresh as the game runs: the process's CPU time (all threads, llvmpipe's
// included) over the wall time is the game's CPU use while playing.
void BM_FramePaced(benchmark::State& state) {
  Screen screen(4);
  screen.gfx.SetUnpaced(false);
  StartUpToFirstFrame();
  for (auto _ : state) {
    UpdateCamera();
    RenderFrame();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["maxRssMiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  ShutDown();
}
BENCHMARK(BM_FramePaced)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(3.0);

void BM_StartUpToFirstFrame(benchmark::State& state) {
  Screen screen(4);
  for (auto _ : state) {
    StartUpToFirstFrame();
    state.PauseTiming();
    ShutDown();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
