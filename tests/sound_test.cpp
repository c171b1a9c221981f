// Sound synthesis and playback on the recording audio backend: the building blocks, the uploads,
// the voice allocator, the level decay, the release order and the failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/modUtil.h"
#include "platform/Audio.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "platform/testing/RecordingAudio.h"
#include "sound/modDS.h"

namespace kuvo {
namespace {

class SoundTest : public ::testing::Test {
 protected:
  RecordingAudio audio;
  Platform saved;

  void SetUp() override {
    saved = Host;
    Host.audio = &audio;
    for (int v = 0; v < 4; ++v) ClickLevels[v] = ThudLevels[v] = 0.0f;
  }
  void TearDown() override {
    ReleaseSound();
    Host = saved;
  }

  // The calls after `from` as (operation, object id) pairs.
  std::vector<std::pair<AudioOp, int>> CallsSince(std::size_t from) const {
    std::vector<std::pair<AudioOp, int>> out;
    for (std::size_t k = from; k < audio.Calls().size(); ++k) out.emplace_back(audio.Calls()[k].op, audio.Calls()[k].object);
    return out;
  }

  static void FillSynth(std::vector<float> values) {
    SynthLength = 20000;
    values.resize(SynthLength, 0.0f);
    SynthBuffer = std::move(values);
  }

  static void FillSynthRandom(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> values(20000);
    for (float& v : values) v = value(random);
    FillSynth(std::move(values));
  }
};

TEST(LevelToVolume, MapsLevelsToHundredthsOfADecibel) {
  EXPECT_EQ(LevelToVolume(0.0f), -10000);
  EXPECT_EQ(LevelToVolume(1.0f), -7);
  EXPECT_EQ(LevelToVolume(2.0f), 0);
  EXPECT_EQ(LevelToVolume(1000.0f), 0);
  // A click between balls closing at one table unit per second.
  EXPECT_EQ(LevelToVolume(0.2f), -1753);
  int previous = -10000;
  for (float level = 0.0f; level <= 1.5f; level += 0.001f) {
    int volume = LevelToVolume(level);
    EXPECT_GE(volume, previous) << level;
    EXPECT_LE(volume, 0);
    previous = volume;
  }
  // A negative level has no volume: what comes out is outside the device's range, so it is refused.
  EXPECT_LT(LevelToVolume(-0.5f), -10000);
  EXPECT_LT(LevelToVolume(-0.00005f), -10000);
}

TEST_F(SoundTest, InitSoundOpensTheDeviceAndMakesSixBuffersAndSixDuplicates) {
  InitSound();
  const auto& calls = audio.Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0].op, AudioOp::CreateDirectSound8);
  EXPECT_EQ(calls[1].op, AudioOp::Initialize);
  EXPECT_EQ(calls[1].a, 0);  // the default playback device
  EXPECT_EQ(calls[2].op, AudioOp::SetCooperativeLevel);
  EXPECT_EQ(calls[2].a, 1);  // DSSCL_NORMAL
  EXPECT_EQ(audio.Count(AudioOp::CreateSoundBuffer), 6);
  EXPECT_EQ(audio.Count(AudioOp::DuplicateSoundBuffer), 6);
  EXPECT_EQ(audio.Count(AudioOp::Play), 0);

  // The buffers in the order the effects are built.
  const AudioBuffer* order[6] = {StrokeSound, DropSound, ClickVoices[0], ThudVoices[0], ScoreSound, FoulSound};
  ASSERT_EQ(audio.Sounds().size(), 6u);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(audio.Sounds()[k]->bufferId, audio.IdOf(order[k])) << k;

  // Voices 1..3 are duplicates: their own objects on voice 0's samples.
  for (AudioBuffer* const* voices : {ClickVoices, ThudVoices}) {
    for (int v = 1; v < 4; ++v) {
      EXPECT_NE(voices[v], voices[0]);
      EXPECT_NE(audio.IdOf(voices[v]), 0);
      EXPECT_EQ(audio.SoundOf(voices[v]), audio.SoundOf(voices[0]));
    }
  }
  int duplicatesOfClick = 0;
  for (const AudioCall& call : calls)
    if (call.op == AudioOp::DuplicateSoundBuffer && call.a == audio.IdOf(ClickVoices[0])) ++duplicatesOfClick;
  EXPECT_EQ(duplicatesOfClick, 3);
}

TEST_F(SoundTest, EveryUploadIsMonoSixteenBitPcmAtFullScaleFromSilence) {
  InitSound();
  for (const auto& sound : audio.Sounds()) {
    const DSBUFFERDESC& d = sound->description;
    EXPECT_EQ(d.dwSize, 36u);
    EXPECT_EQ(d.dwFlags, 0x8080u);
    EXPECT_EQ(d.dwBufferBytes, 40000u);
    EXPECT_EQ(d.dwReserved, 0u);
    EXPECT_EQ(d.guid3DAlgorithm.Data1, 0u);
    EXPECT_EQ(d.guid3DAlgorithm.Data2, 0u);
    const WAVEFORMATEX& f = sound->format;
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(f.nBlockAlign, 2);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(sound->unlocks, 1);

    std::vector<std::int16_t> pcm = sound->Samples16();
    ASSERT_EQ(pcm.size(), 20000u);
    EXPECT_EQ(pcm[0], 0) << "every effect fades in from 0";
    int peak = 0;
    for (std::int16_t s : pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_EQ(peak, 32767);
  }
  // The last upload left its samples in PcmBuffer.
  EXPECT_EQ(audio.Sounds().back()->Samples16(), PcmBuffer);

  for (const AudioCall& call : audio.Calls()) {
    if (call.op == AudioOp::Lock) {
      EXPECT_EQ(call.a, 0);
      EXPECT_EQ(call.b, 40000);
      EXPECT_EQ(call.c, 0);
    }
    if (call.op == AudioOp::Unlock) {
      EXPECT_EQ(call.a, 40000);
      EXPECT_EQ(call.b, 0);
    }
  }
}

TEST_F(SoundTest, NoiseEffectsDecayAndTheBuzzerStopsBeforeTheEnd) {
  InitSound();
  auto rms = [](const std::vector<std::int16_t>& pcm, int from, int to) {
    double sum = 0;
    for (int i = from; i < to; ++i) sum += static_cast<double>(pcm[i]) * pcm[i];
    return std::sqrt(sum / (to - from));
  };
  for (int k = 0; k < 4; ++k) {
    std::vector<std::int16_t> pcm = audio.Sounds()[k]->Samples16();
    EXPECT_GT(rms(pcm, 0, 2000), 10 * rms(pcm, 15000, 20000)) << k;
  }
  std::vector<std::int16_t> buzzer = audio.Sounds()[5]->Samples16();
  EXPECT_GT(rms(buzzer, 10000, 18000), 5000);
  EXPECT_LT(std::abs(buzzer[19999]), 2);
}

// The program's generators (NextNoise, NextDrift) with their own state, so the test can start the
// drift walk where it likes.
struct Generators {
  double noise = 0.0;
  double drift = 0.0;
  float Noise() {
    noise = noise * 1.314 + 1.737;
    if (noise > 983732.3456) noise = noise * 0.3141;
    return static_cast<float>(noise - std::floor(noise));
  }
  double Drift() {
    drift = (static_cast<double>(Noise()) + drift - 0.5) * 0.99;
    return drift;
  }
};

std::uint64_t Fnv1a(const std::vector<std::int16_t>& pcm) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::int16_t s : pcm) {
    for (int byte = 0; byte < 2; ++byte) {
      h ^= static_cast<std::uint16_t>(s) >> (8 * byte) & 0xFFu;
      h *= 1099511628211ull;
    }
  }
  return h;
}

// The noise effects continue the drift walk; 5000 draws after a seed forget any earlier walk (0.99^5000
// is far below a double's resolution), so the uploads depend on the seed alone.
constexpr float kSoundSeed = 271.5f;
constexpr int kDriftWash = 5000;

// The chime as uploaded, worked out sample by sample from its formula: the three tones (the second and
// third swelling as atan(0.02 k) from their entries), the raised-cosine fade-in over 250 samples and the
// quadratic fade over all 20000, scaled so that the loudest sample is 32767.
double ChimeAsUploaded(int i) {
  const double second = i > 5000 ? std::atan(0.02 * (i - 5000)) * std::sin(0.19 * (i - 5000)) : 0.0;
  const double third = i > 10000 ? std::atan(0.02 * (i - 10000)) * std::sin(0.225 * (i - 10000)) : 0.0;
  double gain = (20000.0 - i) * (20000.0 - i) / 4e8;
  if (i < 250) gain *= (1 - std::cos(3.141593 * i / 250)) / 2;
  return (std::sin(0.15 * i) + second + third) * gain;
}

TEST_F(SoundTest, ChimeUploadIsItsFormulaThroughTheEnvelopeAtFullScale) {
  InitSound();
  const std::vector<std::int16_t> got = audio.Sounds()[4]->Samples16();
  ASSERT_EQ(got.size(), 20000u);
  int peak = 0;
  for (int i = 1; i < 20000; ++i)
    if (std::fabs(ChimeAsUploaded(i)) > std::fabs(ChimeAsUploaded(peak))) peak = i;
  const double scale = 32767 / std::fabs(ChimeAsUploaded(peak));
  EXPECT_EQ(std::abs(got[peak]), 32767) << "the loudest sample, " << peak;
  // In the fade-in, at each tone's entry, in the body and in the tail.
  for (int i : {0, 1, 2, 60, 125, 249, 250, 251, 2000, 4999, 5001, 5100, 7000, 10001, 10100, 12345, 17000, 19998,
                19999}) {
    EXPECT_NEAR(got[i], scale * ChimeAsUploaded(i), 1.0) << "sample " << i;
  }
}

// Guards the bytes of every effect against any change. The chime's are checked above; the noise effects
// and the buzzer run resonators over the whole buffer, so their properties are checked elsewhere here.
TEST_F(SoundTest, SixUploadsKeepTheirPinnedBytes) {
  Generators fromZero{kSoundSeed, 0.0}, fromFar{kSoundSeed, 40.0};
  for (int k = 0; k < kDriftWash; ++k) fromZero.Drift(), fromFar.Drift();
  ASSERT_EQ(fromZero.drift, fromFar.drift) << "the drift walk still remembers where it started";

  SeedNoise(kSoundSeed);
  for (int k = 0; k < kDriftWash; ++k) NextDrift();
  InitSound();
  ASSERT_EQ(audio.Sounds().size(), 6u);
  const char* names[6] = {"stroke", "drop", "click", "thud", "chime", "buzzer"};
  const std::uint64_t pinned[6] = {0x3fbc39e3ebc7b6e4ull, 0x5cc2ad46fb9016f6ull, 0x97f48d7627c7d6bfull,
                                   0xe5645a56d6958d76ull, 0x11f812fc60186df3ull, 0xed50de784b3dd0b3ull};
  for (int k = 0; k < 6; ++k)
    EXPECT_EQ(Fnv1a(audio.Sounds()[k]->Samples16()), pinned[k]) << names[k];
}

TEST_F(SoundTest, UploadSoundMapsThePeakToFullScaleAndRoundsHalvesToEven) {
  InitSound();
  // Peak 32767 gives a scale of exactly 1, so the halves show the rounding.
  FillSynth({32767.0f, 2.5f, -2.5f, 3.5f, 0.5f, -32766.4f});
  AudioBuffer* target = nullptr;
  UploadSound(target);
  ASSERT_NE(target, nullptr);
  std::vector<std::int16_t> pcm = audio.SoundOf(target)->Samples16();
  EXPECT_EQ(pcm[0], 32767);
  EXPECT_EQ(pcm[1], 2);
  EXPECT_EQ(pcm[2], -2);
  EXPECT_EQ(pcm[3], 4);
  EXPECT_EQ(pcm[4], 0);
  EXPECT_EQ(pcm[5], -32766);
  target->Release();

  // Whatever the peak, it lands on +-32767 exactly.
  std::mt19937 random(7);
  std::uniform_real_distribution<float> exponent(-20.0f, 20.0f);
  for (int trial = 0; trial < 200; ++trial) {
    float peak = std::exp2(exponent(random));
    FillSynth({0.25f * peak, trial % 2 ? peak : -peak, -0.5f * peak});
    UploadSound(target);
    std::vector<std::int16_t> samples = audio.SoundOf(target)->Samples16();
    EXPECT_EQ(samples[1], trial % 2 ? 32767 : -32767) << peak;
    EXPECT_NEAR(samples[0], 8192, 1);
    target->Release();
  }
}

TEST_F(SoundTest, EnvelopeFadesInFromZeroAndLeavesTheMiddleUntouched) {
  FillSynthRandom(1);
  std::vector<float> before = SynthBuffer;
  ApplyEnvelope(250, 2000);
  EXPECT_EQ(SynthBuffer[0], 0.0f);
  EXPECT_NEAR(SynthBuffer[125], before[125] * 0.5f, 1e-6f);  // halfway up the raised cosine
  EXPECT_NE(SynthBuffer[249], before[249]);
  for (int i = 250; i <= 18000; ++i) ASSERT_EQ(SynthBuffer[i], before[i]) << i;
  for (int i = 18001; i < 20000; ++i) {
    double gain = static_cast<double>(20000 - i) * (20000 - i) / (2000.0 * 2000.0);
    ASSERT_NEAR(SynthBuffer[i], before[i] * gain, 1e-6) << i;
  }
  EXPECT_NEAR(SynthBuffer[19999], before[19999] / 4.0e6, 1e-12);

  // A fade-out over the whole effect: quadratic from the first sample on.
  FillSynth(std::vector<float>(20000, 1.0f));
  ApplyEnvelope(0, 20000);
  EXPECT_EQ(SynthBuffer[0], 1.0f);
  EXPECT_NEAR(SynthBuffer[10000], 0.25f, 1e-6f);
  EXPECT_NEAR(SynthBuffer[19999], 1.0f / 4.0e8f, 1e-12f);
}

TEST_F(SoundTest, NormalizeAndClipWorkOnTheWholeBuffer) {
  FillSynth({0.1f, -0.25f, 0.2f});
  NormalizePeak(5);
  EXPECT_FLOAT_EQ(SynthBuffer[0], 2.0f);
  EXPECT_EQ(SynthBuffer[1], -5.0f);
  EXPECT_FLOAT_EQ(SynthBuffer[2], 4.0f);
  ClipSymmetric(3);
  EXPECT_EQ(SynthBuffer[0], 2.0f);
  EXPECT_EQ(SynthBuffer[1], -3.0f);
  EXPECT_EQ(SynthBuffer[2], 3.0f);
  EXPECT_EQ(SynthBuffer[3], 0.0f);
}

TEST_F(SoundTest, ChimeAndBuzzerFollowTheirFormulas) {
  SynthLength = 20000;
  SynthBuffer.assign(20000, 0.0f);
  MakeChime();
  // Only the first tone before sample 5000; the second enters at 5000, the third at 10000.
  const std::pair<int, double> chime[] = {{0, 0.0},
                                          {100, 0.6502878401571168},
                                          {4999, 0.8363792754751245},
                                          {5000, 0.7450729502920265},
                                          {5001, 0.6408105673239943},
                                          {6000, 2.51529426503666},
                                          {10001, 0.5503800428857442},
                                          {12345, -0.2400259515337717},
                                          {19999, 0.3752247381185707}};
  for (auto [i, value] : chime) EXPECT_NEAR(SynthBuffer[i], value, 1e-6) << i;
  for (int i = 0; i < 5000; i += 97) EXPECT_FLOAT_EQ(SynthBuffer[i], static_cast<float>(std::sin(0.15 * i)));

  MakeBuzzer();
  const std::pair<int, double> buzzer[] = {
      {0, 0.0}, {7, 0.1376250842702132}, {100, 0.3585194096358082}, {1234, 0.4726500761011397}, {19999, -0.7682046554189954}};
  for (auto [i, value] : buzzer) EXPECT_NEAR(SynthBuffer[i], value, 1e-6) << i;
}

TEST_F(SoundTest, ResonateRingsAtAboutTheGivenFrequency) {
  // Mean half period between the first and the last zero crossing of the first 600 samples,
  // while the ring is still far above float's floor.
  auto ringHz = [](int& crossings) {
    int first = -1, last = -1;
    crossings = 0;
    for (int i = 1; i < 600; ++i) {
      if ((SynthBuffer[i - 1] < 0) == (SynthBuffer[i] < 0)) continue;
      if (first < 0) first = i;
      last = i;
      ++crossings;
    }
    return crossings < 2 ? 0.0 : 44100.0 * (crossings - 1) / (2.0 * (last - first));
  };
  for (float frequency : {1100.0f, 1900.0f, 3000.0f}) {
    FillSynth({1.0f});
    Resonate(frequency, 0.9f);
    int crossings = 0;
    double measured = ringHz(crossings);
    EXPECT_NEAR(measured, frequency, 0.1 * frequency) << frequency;
    // The two states turn by the angle of the step matrix's eigenvalues, whose modulus is sqrt(damping).
    double c = frequency / 7019.0;
    double angle = std::acos((1 + 0.9 * (1 - c * c)) / (2 * std::sqrt(0.9)));
    EXPECT_NEAR(measured, angle * 44100 / (2 * M_PI), 0.02 * frequency) << frequency;
    EXPECT_LT(std::fabs(SynthBuffer[400]), 1e-6f) << "damped";
  }
  // Low and heavily damped, the pair no longer rings: it only smooths.
  FillSynth({1.0f});
  Resonate(300, 0.85f);
  int crossings = 0;
  ringHz(crossings);
  EXPECT_LE(crossings, 1);
}

TEST_F(SoundTest, ClickTakesTheQuietestVoiceOrIsDropped) {
  InitSound();
  for (auto [voices, levels, play] : {std::tuple{ClickVoices, ClickLevels, &PlayClick},
                                      std::tuple{ThudVoices, ThudLevels, &PlayThud}}) {
    for (int v = 0; v < 4; ++v) levels[v] = 0.0f;
    std::size_t start = audio.Calls().size();
    for (int k = 0; k < 5; ++k) play(0.5f);
    // Four voices in index order, each Stop, SetVolume, Play; the fifth finds none quieter.
    ASSERT_EQ(audio.Calls().size() - start, 12u);
    for (int v = 0; v < 4; ++v) {
      const AudioCall* c = &audio.Calls()[start + 3 * v];
      int id = audio.IdOf(voices[v]);
      EXPECT_EQ(c[0].op, AudioOp::Stop);
      EXPECT_EQ(c[1].op, AudioOp::SetVolume);
      EXPECT_EQ(c[1].a, LevelToVolume(0.5f));
      EXPECT_EQ(c[2].op, AudioOp::Play);
      EXPECT_EQ(c[2].a, 0);
      EXPECT_EQ(c[2].b, 0);
      EXPECT_EQ(c[2].c, 0);
      for (int k = 0; k < 3; ++k) EXPECT_EQ(c[k].object, id);
      EXPECT_EQ(levels[v], 0.5f);
    }

    start = audio.Calls().size();
    play(0.3f);
    EXPECT_EQ(audio.Calls().size(), start);
    play(0.6f);
    ASSERT_EQ(audio.Calls().size() - start, 3u);
    EXPECT_EQ(audio.Calls()[start].object, audio.IdOf(voices[0]));
    EXPECT_EQ(levels[0], 0.6f);

    // The quietest wins, not the first quieter one.
    levels[0] = 0.4f;
    levels[1] = 0.1f;
    levels[2] = 0.1f;
    levels[3] = 0.2f;
    start = audio.Calls().size();
    play(0.3f);
    EXPECT_EQ(audio.Calls()[start].object, audio.IdOf(voices[1]));
    EXPECT_EQ(levels[1], 0.3f);
    EXPECT_EQ(levels[2], 0.1f);
  }
}

TEST_F(SoundTest, LevelsDecayByOneThousandthPerStepWithoutABound) {
  InitSound();
  PlayClick(1.0f);
  PlayThud(1.0f);
  ASSERT_EQ(ClickLevels[0], 1.0f);
  for (int step = 0; step < 1000; ++step) StepSound();
  EXPECT_NEAR(ClickLevels[0], 0.0f, 1e-4f);
  EXPECT_NEAR(ThudLevels[0], 0.0f, 1e-4f);
  EXPECT_NEAR(ClickLevels[1], -1.0f, 1e-4f);
  for (int step = 0; step < 1000; ++step) StepSound();
  EXPECT_NEAR(ClickLevels[0], -1.0f, 1e-4f);
  EXPECT_NEAR(ThudLevels[3], -2.0f, 1e-4f);
  // A long-idle voice takes even the faintest sound.
  std::size_t start = audio.Calls().size();
  PlayClick(0.0001f);
  ASSERT_EQ(audio.Calls().size() - start, 3u);
  EXPECT_EQ(audio.Calls()[start].object, audio.IdOf(ClickVoices[1]));
}

TEST_F(SoundTest, SingleVoiceEffectsSetTheirVolumeAndPlayWithoutStopping) {
  InitSound();
  std::size_t start = audio.Calls().size();
  PlayStroke(0.2f);
  PlayDrop();
  PlayScore();
  PlayFoul();
  const std::pair<AudioBuffer*, int> expected[] = {
      {StrokeSound, -1753}, {DropSound, -1800}, {ScoreSound, -2250}, {FoulSound, -2000}};
  ASSERT_EQ(audio.Calls().size() - start, 8u);
  for (int k = 0; k < 4; ++k) {
    const AudioCall& volume = audio.Calls()[start + 2 * k];
    const AudioCall& play = audio.Calls()[start + 2 * k + 1];
    EXPECT_EQ(volume.op, AudioOp::SetVolume);
    EXPECT_EQ(volume.object, audio.IdOf(expected[k].first));
    EXPECT_EQ(volume.a, expected[k].second);
    EXPECT_EQ(play.op, AudioOp::Play);
    EXPECT_EQ(play.object, volume.object);
    EXPECT_EQ(play.c, 0);
  }
}

TEST_F(SoundTest, ReleaseSoundStopsAndReleasesInOrderThenTheDevice) {
  InitSound();
  std::vector<std::pair<AudioOp, int>> expected;
  auto stopAndRelease = [&](AudioBuffer* b) {
    expected.emplace_back(AudioOp::Stop, audio.IdOf(b));
    expected.emplace_back(AudioOp::ReleaseBuffer, audio.IdOf(b));
  };
  for (AudioBuffer* b : {StrokeSound, DropSound, ScoreSound, FoulSound}) stopAndRelease(b);
  for (int v = 0; v < 4; ++v) {
    stopAndRelease(ClickVoices[v]);
    stopAndRelease(ThudVoices[v]);
  }
  expected.emplace_back(AudioOp::ReleaseDevice, audio.IdOf(SoundDevice));
  std::size_t start = audio.Calls().size();
  ReleaseSound();
  EXPECT_EQ(CallsSince(start), expected);
  for (std::size_t k = start; k < audio.Calls().size(); ++k) EXPECT_EQ(audio.Calls()[k].result, S_OK);
  EXPECT_EQ(audio.LiveObjects(), 0);
  EXPECT_EQ(SoundDevice, nullptr);
  EXPECT_EQ(ClickVoices[3], nullptr);
}

struct FailingCall {
  AudioOp op;
  long skip;
  const char* call;
};

class SoundFailureTest : public SoundTest, public ::testing::WithParamInterface<FailingCall> {};

TEST_P(SoundFailureTest, AFailingCallAbandonsInitSoundWithADeviceError) {
  const FailingCall& failing = GetParam();
  const HRESULT code = static_cast<HRESULT>(0x88780064u);
  audio.FailCall(failing.op, code, failing.skip);
  try {
    InitSound();
    FAIL() << "InitSound went on past the failing " << failing.call;
  } catch (const DeviceError& e) {
    EXPECT_EQ(e.Code(), code);
    EXPECT_NE(e.Call().find(failing.call), std::string::npos) << e.Call();
  }
  // Nothing after the failing call.
  EXPECT_EQ(audio.Calls().back().op, failing.op);
  EXPECT_EQ(audio.Calls().back().result, code);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOfCall, SoundFailureTest,
    ::testing::Values(FailingCall{AudioOp::CreateDirectSound8, 0, "CLSID_DirectSound8"},
                      FailingCall{AudioOp::Initialize, 0, "Initialize"},
                      FailingCall{AudioOp::SetCooperativeLevel, 0, "SetCooperativeLevel"},
                      FailingCall{AudioOp::CreateSoundBuffer, 0, "CreateSoundBuffer"},
                      FailingCall{AudioOp::CreateSoundBuffer, 4, "CreateSoundBuffer"},
                      FailingCall{AudioOp::Lock, 2, "Lock"}, FailingCall{AudioOp::Unlock, 5, "Unlock"},
                      FailingCall{AudioOp::DuplicateSoundBuffer, 4, "DuplicateSoundBuffer"}),
    // Named by position: a name made of the case's bytes would hold a pointer, which differs from run to run.
    [](const ::testing::TestParamInfo<FailingCall>& info) { return "Case" + std::to_string(info.index); });

TEST_F(SoundTest, AFailingPlaybackCallRaisesAndLeavesTheLevelsAlone) {
  InitSound();
  audio.FailCall(AudioOp::SetVolume, E_FAIL);
  EXPECT_THROW(PlayClick(0.5f), DeviceError);
  EXPECT_EQ(ClickLevels[0], 0.0f);
  audio.FailCall(AudioOp::Play, E_FAIL);
  EXPECT_THROW(PlayDrop(), DeviceError);
  audio.FailCall(AudioOp::Stop, E_FAIL, 2);
  EXPECT_THROW(ReleaseSound(), DeviceError);
  // A level below 0 asks for a volume the device refuses.
  ClickLevels[0] = -2.0f;
  ThudLevels[0] = -2.0f;
  InitSound();
  EXPECT_THROW(PlayThud(-0.0005f), DeviceError);
}

TEST(RecordingAudioCounting, KeepsNoLogAndFreesWhatIsReleased) {
  RecordingAudio audio(RecordingAudio::Mode::CountOnly);
  Platform saved = Host;
  Host.audio = &audio;
  for (int v = 0; v < 4; ++v) ClickLevels[v] = 0.0f;
  for (int game = 0; game < 3; ++game) {
    InitSound();
    for (int step = 0; step < 5000; ++step) {
      if (step % 100 == 0) PlayClick(0.5f);
      StepSound();
    }
    EXPECT_EQ(audio.LiveObjects(), 13);
    ReleaseSound();
    EXPECT_EQ(audio.LiveObjects(), 0);
  }
  Host = saved;
  EXPECT_TRUE(audio.Calls().empty());
  EXPECT_TRUE(audio.Sounds().empty());
  EXPECT_EQ(audio.Count(AudioOp::Play), 150);
  EXPECT_EQ(audio.Count(AudioOp::CreateSoundBuffer), 18);
}

}  // namespace
}  // namespace kuvo
