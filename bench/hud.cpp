// Cost of one RedrawHud on the FreeType canvas and the recording device (target: under 1 ms, since
// it runs inside a 1 ms physics step at the end of a stroke), and of the canvas's parts.
#include <benchmark/benchmark.h>

#include <string>

#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/testing/Headless.h"
#include "textures/modTex.h"

using namespace kuvo;

namespace {

struct HudOnRecordingDevice {
  HeadlessPlatform host;
  HudOnRecordingDevice() {
    CreateDevice3D();
    SetUpHud();
    PlayerNames[1] = "Player1";
    PlayerNames[2] = "\xD0\x96\xD1\x83\xD0\xBA";  // a Cyrillic name
    Scores[1] = 7;
    Scores[2] = 5;
    CurrentPlayer = 2;
  }
  ~HudOnRecordingDevice() {
    ReleaseTextures();
    ReleaseDevice3D();
  }
};

void BM_RedrawHudScoreboard(benchmark::State& state) {
  HudOnRecordingDevice hud;
  for (auto _ : state) RedrawHud(false);
}
BENCHMARK(BM_RedrawHudScoreboard)->Unit(benchmark::kMicrosecond);

// Alternates the result and the prompt, as the game-over passes do.
void BM_RedrawHudGameOver(benchmark::State& state) {
  HudOnRecordingDevice hud;
  for (auto _ : state) RedrawHud(true);
}
BENCHMARK(BM_RedrawHudGameOver)->Unit(benchmark::kMicrosecond);

// The first redraw of a run renders every glyph; later ones find them cached.
void BM_RedrawHudFirstInCanvas(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    {
      HudOnRecordingDevice hud;
      state.ResumeTiming();
      RedrawHud(false);
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RedrawHudFirstInCanvas)->Unit(benchmark::kMicrosecond);

void BM_CanvasDrawText(benchmark::State& state) {
  FreeTypeCanvas canvas(512, 32);
  const std::string text = "Player1: 7 ";
  for (auto _ : state) {
    canvas.DrawText(2, -5, text, 0x4040FF);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CanvasDrawText)->Unit(benchmark::kMicrosecond);

void BM_CanvasLoadFont(benchmark::State& state) {
  for (auto _ : state) {
    FreeTypeCanvas canvas(512, 32);
    benchmark::DoNotOptimize(canvas.Width());
  }
}
BENCHMARK(BM_CanvasLoadFont)->Unit(benchmark::kMicrosecond);

}  // namespace
