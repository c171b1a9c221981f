// Frames on the OpenGL device in a 1280 × 720 window: the device the game gets (on a software renderer,
// no multisampling), and 4 or 0 samples forced; turning a little each frame, so every frame is drawn,
// and standing still, as while a player thinks; unpaced and paced as the game runs; the floor (clear and
// present only); the start-up to the first presented frame. Needs a display (Xvfb with Mesa here). CPU
// times are the whole process's, llvmpipe's threads included.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

// The device the game gets, or one with `samples` samples forced (what the check would not offer on a
// software renderer included).
constexpr int kGameDevice = -1;

struct Screen {
  VirtualClock clock;
  RecordingAudio audio{RecordingAudio::Mode::CountOnly};
  SdlWindow window{"Kuvo benchmark", 1280, 720};
  GlGfx gfx{window};
  FreeTypeCanvas text;

  Screen(int samples, bool paced) {
    gfx.SetUnpaced(!paced);
    if (samples != kGameDevice) {
      gfx.LimitSamples(samples);
      gfx.OfferSlowMultisampling(true);
    }
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
  StartUp();
  UpdateControl();
  UpdateCamera();
  RenderFrame();
}

// The camera a hair further round each frame (a circle in about 35 s at 60 frames a second), so no two
// frames are alike; or standing still.
void Turn(bool moving, int frame) {
  if (!moving) return;
  float yaw = 0.003f * static_cast<float>(frame);
  AimSin = std::sin(yaw);
  AimCos = std::cos(yaw);
}

// Lets the camera's glide onto the first ball come to rest, as it does while a player thinks.
void SettleCamera() {
  for (int i = 0; i < 20000; ++i) {
    Vector3 before = LookPoint;
    UpdateCamera();
    if (std::memcmp(&before, &LookPoint, sizeof before) == 0) return;
  }
}

void Report(benchmark::State& state) {
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["samples"] = BackBufferSamples(Device);
  state.counters["shownAgain"] = static_cast<double>(FramesShownAgain(Device));
  const double frames = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["trianglesDrawn"] = static_cast<double>(TrianglesDrawn(Device)) / frames;
  state.counters["trianglesLeftOut"] = static_cast<double>(TrianglesLeftOut(Device)) / frames;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["maxRssMiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Arguments: samples (-1: the game's device), moving (1) or still (0), paced (1) or as fast as it can (0).
// Paced, the process's CPU time (all threads) over the wall time is the game's CPU use while playing.
void BM_Frame(benchmark::State& state) {
  bool moving = state.range(1) != 0;
  Screen screen(static_cast<int>(state.range(0)), state.range(2) != 0);
  StartUpToFirstFrame();
  if (!moving) SettleCamera();
  int frame = 0;
  for (auto _ : state) {
    Turn(moving, ++frame);
    UpdateCamera();
    RenderFrame();
  }
  Report(state);
  ShutDown();
}
BENCHMARK(BM_Frame)
    ->ArgNames({"samples", "moving", "paced"})
    ->Args({kGameDevice, 1, 0})
    ->Args({4, 1, 0})
    ->Args({0, 1, 0})
    ->Args({kGameDevice, 0, 0})
    ->Args({kGameDevice, 1, 1})
    ->Args({kGameDevice, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(3.0);

// What no game can beat on this device: a clear of colour and depth and a present, unpaced, each frame
// a different black.
void BM_Floor(benchmark::State& state) {
  Screen screen(static_cast<int>(state.range(0)), false);
  StartUpToFirstFrame();
  std::uint32_t colour = 0;
  for (auto _ : state) {
    (void)Device->BeginScene();
    colour ^= 1;  // a frame like the last would only be shown again
    (void)Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0);
    (void)Device->EndScene();
    (void)Device->Present(nullptr, nullptr, nullptr, nullptr);
  }
  Report(state);
  ShutDown();
}
BENCHMARK(BM_Floor)
    ->ArgName("samples")
    ->Arg(kGameDevice)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);

void BM_StartUpToFirstFrame(benchmark::State& state) {
  Screen screen(kGameDevice, false);
  for (auto _ : state) {
    StartUpToFirstFrame();
    state.PauseTiming();
    ShutDown();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
