// Sound synthesis and playback: six effects computed sample by sample at start-up, loaded into
// audio buffers, and played with a four-voice allocator for the ball and cushion impacts.
#include "sound/modDS.h"

#include <cassert>
#include <cmath>
#include <cstring>

#include "app/modUtil.h"
#include "platform/Audio.h"
#include "platform/Errors.h"
#include "platform/Platform.h"

namespace kuvo {

std::int32_t SynthLength = 0;
std::vector<float> SynthBuffer;
std::vector<std::int16_t> PcmBuffer;

AudioDevice* SoundDevice = nullptr;
AudioBuffer* StrokeSound = nullptr;
AudioBuffer* DropSound = nullptr;
AudioBuffer* ScoreSound = nullptr;
AudioBuffer* FoulSound = nullptr;
AudioBuffer* ClickVoices[4] = {};
AudioBuffer* ThudVoices[4] = {};

float ClickLevels[4] = {0, 0, 0, 0};
float ThudLevels[4] = {0, 0, 0, 0};

namespace {

constexpr std::int32_t SampleRateHz = 44100;

// The largest magnitude, each rounded to float and replaced only when strictly larger.
float PeakMagnitude() {
  float m = 0.0f;
  for (std::int32_t i = 0; i < SynthLength; ++i) {
    float a = std::fabs(SynthBuffer[i]);
    if (a > m) m = a;
  }
  return m;
}

// Voice 0 is loaded by UploadSound; the three others share its samples.
void DuplicateVoices(AudioBuffer* voices[4]) {
  for (int v = 1; v <= 3; ++v)
    Check(SoundDevice->DuplicateSoundBuffer(voices[0], &voices[v]), "IDirectSound8::DuplicateSoundBuffer");
}

// The quietest voice below `level` takes the sound (the lowest index among equals); if every voice
// holds at least `level`, the sound is dropped.
void PlayOnVoice(AudioBuffer* const voices[4], float levels[4], float level) {
  int best = -1;
  float lowest = level;
  for (int v = 0; v <= 3; ++v) {
    if (lowest > levels[v]) {
      best = v;
      lowest = levels[v];
    }
  }
  if (best == -1) return;
  AudioBuffer* voice = voices[best];
  Check(voice->Stop(), "IDirectSoundBuffer::Stop");
  Check(voice->SetVolume(LevelToVolume(level)), "IDirectSoundBuffer::SetVolume");
  Check(voice->Play(0, 0, 0), "IDirectSoundBuffer::Play");
  levels[best] = level;
}

void PlayAtVolume(AudioBuffer* buffer, LONG volume) {
  Check(buffer->SetVolume(volume), "IDirectSoundBuffer::SetVolume");
  Check(buffer->Play(0, 0, 0), "IDirectSoundBuffer::Play");
}

// Handles left by a start-up that failed part way are null; they are skipped.
void StopAndRelease(AudioBuffer*& buffer) {
  if (!buffer) return;
  Check(buffer->Stop(), "IDirectSoundBuffer::Stop");
  buffer->Release();
  buffer = nullptr;
}

}  // namespace

void InitSound() {
  Check(Host.audio->CreateDirectSound8(&SoundDevice), "CoCreateInstance(CLSID_DirectSound8)");
  Check(SoundDevice->Initialize(nullptr), "IDirectSound8::Initialize");
  // There is no window handle to give on this platform; the level is all that counts.
  Check(SoundDevice->SetCooperativeLevel(nullptr, DSSCL_NORMAL), "IDirectSound8::SetCooperativeLevel");
  SynthLength = 20000;
  SynthBuffer.assign(SynthLength, 0.0f);

  // The order matters: each noise burst continues the NextDrift sequence.
  MakeNoiseBurst();
  Resonate(1100, 0.9f);
  NormalizePeak(5);
  ClipSymmetric(1);
  Resonate(1100, 0.85f);
  ApplyEnvelope(250, 20000);
  UploadSound(StrokeSound);

  MakeNoiseBurst();
  Resonate(1200, 0.9f);
  NormalizePeak(3);
  ClipSymmetric(1);
  Resonate(500, 0.85f);
  ApplyEnvelope(50, 20000);
  UploadSound(DropSound);

  MakeNoiseBurst();
  Resonate(1900, 0.9f);
  NormalizePeak(5);
  ClipSymmetric(1);
  Resonate(900, 0.85f);
  ApplyEnvelope(150, 20000);
  UploadSound(ClickVoices[0]);
  DuplicateVoices(ClickVoices);

  MakeNoiseBurst();
  Resonate(900, 0.9f);
  NormalizePeak(5);
  ClipSymmetric(1);
  Resonate(300, 0.85f);
  ApplyEnvelope(500, 20000);
  UploadSound(ThudVoices[0]);
  DuplicateVoices(ThudVoices);

  MakeChime();
  ApplyEnvelope(250, 20000);
  UploadSound(ScoreSound);

  MakeBuzzer();
  ClipSymmetric(0.1f);
  Resonate(500, 0.95f);
  ApplyEnvelope(250, 2000);
  UploadSound(FoulSound);
}

void MakeNoiseBurst() {
  // A noisy impulse that dies within a few hundred samples, then a faint noise floor under the tail.
  for (std::int32_t i = 0; i < SynthLength; ++i) {
    double first = std::sin(0.37 * i);
    double drift = NextDrift();
    double second = std::sin(0.42 * i);
    double square = static_cast<double>(static_cast<std::int64_t>(i) * i);
    SynthBuffer[i] = static_cast<float>(first * (100.0 * drift / (i + 300) + second) / (square + 2000));
  }
  for (std::int32_t i = 0; i < SynthLength; ++i)
    SynthBuffer[i] = static_cast<float>(SynthBuffer[i] + 0.07 * NextDrift() / (i + 10000));
}

void Resonate(float frequency, float damping) {
  // d turns by about c radians per sample against y, and 7019 is 44100 / (2 pi) rounded:
  // the pair rings at about `frequency` Hz, d losing (1 - damping) of itself each sample.
  double c = static_cast<double>(frequency) / 7019;
  double y = 0.0;
  double d = 0.0;
  for (std::int32_t i = 0; i < SynthLength; ++i) {
    y = SynthBuffer[i] + c * d + y;
    d = damping * (d - c * y);
    SynthBuffer[i] = static_cast<float>(y);
  }
}

void NormalizePeak(float peak) {
  float m = PeakMagnitude();
  if (m == 0.0f) return;  // silence has no peak to scale
  float factor = static_cast<float>(static_cast<double>(peak) / m);
  for (std::int32_t i = 0; i < SynthLength; ++i) SynthBuffer[i] = SynthBuffer[i] * factor;
}

void ClipSymmetric(float limit) {
  for (std::int32_t i = 0; i < SynthLength; ++i) {
    if (SynthBuffer[i] > limit) SynthBuffer[i] = limit;
    if (SynthBuffer[i] < -limit) SynthBuffer[i] = -limit;
  }
}

void ApplyEnvelope(std::int32_t fadeIn, std::int32_t fadeOut) {
  assert(fadeIn <= SynthLength && fadeOut <= SynthLength);
  if (fadeIn > 0) {
    // Raised cosine from 0; the written-out constant, not a more precise pi.
    for (std::int32_t i = 0; i < fadeIn; ++i)
      SynthBuffer[i] = static_cast<float>(SynthBuffer[i] * (1 - std::cos(3.141593 * i / fadeIn)) / 2);
  }
  if (fadeOut > 0) {
    // Quadratic fade: gain 1 at SynthLength - fadeOut, 1 / fadeOut^2 at the last sample.
    float g = static_cast<float>(1.0 / (static_cast<double>(fadeOut) * fadeOut));
    for (std::int32_t i = 1; i < fadeOut; ++i) {
      std::int32_t k = SynthLength - fadeOut + i;
      double left = static_cast<double>(fadeOut - i);
      SynthBuffer[k] = static_cast<float>(SynthBuffer[k] * (left * left) * g);
    }
  }
}

void UploadSound(AudioBuffer*& target) {
  float m = PeakMagnitude();
  float scale = m == 0.0f ? 0.0f : static_cast<float>(32767.0 / m);
  PcmBuffer.assign(SynthLength, 0);
  // The loudest sample becomes +-32767 exactly: scale x m is within a float rounding of 32767.
  for (std::int32_t j = 0; j < SynthLength; ++j)
    PcmBuffer[j] = static_cast<std::int16_t>(std::lrint(scale * SynthBuffer[j]));

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = SampleRateHz;
  format.nAvgBytesPerSec = 2 * SampleRateHz;
  format.nBlockAlign = 2;
  format.wBitsPerSample = 16;
  format.cbSize = 0;

  const DWORD bytes = static_cast<DWORD>(2 * SynthLength);
  DSBUFFERDESC description{};
  description.dwSize = DSBUFFERDESC_SIZE;
  // Volume control, and the sound keeps playing when another application has the focus.
  description.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS;
  description.dwBufferBytes = bytes;
  description.dwReserved = 0;
  description.lpwfxFormat = &format;
  description.guid3DAlgorithm = GUID{};

  Check(SoundDevice->CreateSoundBuffer(&description, &target, nullptr), "IDirectSound8::CreateSoundBuffer");
  void* pointer1 = nullptr;
  void* pointer2 = nullptr;
  DWORD size1 = 0;
  DWORD size2 = 0;
  Check(target->Lock(0, bytes, &pointer1, &size1, &pointer2, &size2, 0), "IDirectSoundBuffer::Lock");
  std::memcpy(pointer1, PcmBuffer.data(), size1 < bytes ? size1 : bytes);
  Check(target->Unlock(pointer1, bytes, nullptr, 0), "IDirectSoundBuffer::Unlock");
}

void MakeChime() {
  // Three tones of about 1053, 1334 and 1579 Hz entering at samples 0, 5000 and 10000; |k| + k is 0
  // before an entry and 2k after it, so each later tone swells as atan(0.02 k) toward pi / 2.
  for (std::int32_t i = 0; i < SynthLength; ++i) {
    double k2 = i - 5000.0;
    double k3 = i - 10000.0;
    SynthBuffer[i] = static_cast<float>(std::sin(0.15 * i) + std::atan(0.01 * (std::fabs(k2) + k2)) * std::sin(0.19 * k2) +
                                        std::atan(0.01 * (std::fabs(k3) + k3)) * std::sin(0.225 * k3));
  }
}

void MakeBuzzer() {
  // The product of two sines: sum and difference tones near 765 Hz and 63 Hz.
  for (std::int32_t i = 0; i < SynthLength; ++i)
    SynthBuffer[i] = static_cast<float>(std::sin(0.059 * i) * std::sin(0.05 * i));
}

std::int32_t LevelToVolume(float level) {
  double volume = std::nearbyint(1085 * std::log(9999 * static_cast<double>(level) + 1) - 10000);
  if (volume > 0) volume = 0;
  // A negative level has no volume; the device refuses the out-of-range value it gets instead.
  if (!(volume >= DSBVOLUME_MIN)) volume = DSBVOLUME_MIN - 1;
  return static_cast<std::int32_t>(volume);
}

void PlayStroke(float level) { PlayAtVolume(StrokeSound, LevelToVolume(level)); }
void PlayDrop() { PlayAtVolume(DropSound, -1800); }
void PlayScore() { PlayAtVolume(ScoreSound, -2250); }
void PlayFoul() { PlayAtVolume(FoulSound, -2000); }
void PlayClick(float level) { PlayOnVoice(ClickVoices, ClickLevels, level); }
void PlayThud(float level) { PlayOnVoice(ThudVoices, ThudLevels, level); }

void StepSound() {
  // No lower bound: a long-idle voice holds a large negative level and any new sound takes it.
  for (int v = 0; v <= 3; ++v) {
    ClickLevels[v] = static_cast<float>(ClickLevels[v] - 0.001);
    ThudLevels[v] = static_cast<float>(ThudLevels[v] - 0.001);
  }
}

void ReleaseSound() {
  StopAndRelease(StrokeSound);
  StopAndRelease(DropSound);
  StopAndRelease(ScoreSound);
  StopAndRelease(FoulSound);
  for (int v = 0; v <= 3; ++v) {
    StopAndRelease(ClickVoices[v]);
    StopAndRelease(ThudVoices[v]);
  }
  if (SoundDevice) {
    SoundDevice->Release();
    SoundDevice = nullptr;
  }
}

}  // namespace kuvo
