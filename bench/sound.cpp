// Start-up synthesis of the six sound effects, and the per-step cost of the voice levels.
#include <benchmark/benchmark.h>

#include "platform/Platform.h"
#include "platform/testing/RecordingAudio.h"
#include "sound/modDS.h"

namespace {

using namespace kuvo;

// InitSound in full on the recording backend: device set-up, six effects of 20000 samples, uploads
// and duplicates. ReleaseSound runs outside the timing.
void BM_InitSound(benchmark::State& state) {
  RecordingAudio audio(RecordingAudio::Mode::CountOnly);
  Platform saved = Host;
  Host.audio = &audio;
  for (auto _ : state) {
    InitSound();
    state.PauseTiming();
    ReleaseSound();
    state.ResumeTiming();
  }
  Host = saved;
}
BENCHMARK(BM_InitSound)->Unit(benchmark::kMillisecond);

// One 1 ms step with an impact: a click on the quietest voice, then the level decay.
void BM_ClickAndStep(benchmark::State& state) {
  RecordingAudio audio(RecordingAudio::Mode::CountOnly);
  Platform saved = Host;
  Host.audio = &audio;
  InitSound();
  for (auto _ : state) {
    PlayClick(0.5f);
    StepSound();
  }
  ReleaseSound();
  Host = saved;
}
BENCHMARK(BM_ClickAndStep);

}  // namespace
