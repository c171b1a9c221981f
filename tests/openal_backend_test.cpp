// The OpenAL audio backend without sound hardware: OpenAL Soft's null output, which mixes into
// nothing, and an output that does not exist, where the backend goes on silently.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Audio.h"
#include "platform/Platform.h"
#include "platform/openal/OpenALAudio.h"
#include "sound/modDS.h"

namespace kuvo {
namespace {

// OpenAL Soft reads its driver list at its first call, so this must come before any test runs.
const bool kNullDriver = [] { return setenv("ALSOFT_DRIVERS", "null", 1) == 0; }();

constexpr const char* kMissingDevice = "kuvo-test-no-such-output";

WAVEFORMATEX MonoPcm16() { return WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0}; }

DSBUFFERDESC Description(const WAVEFORMATEX* format, DWORD bytes = 40000,
                         DWORD flags = DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS) {
  return DSBUFFERDESC{DSBUFFERDESC_SIZE, flags, bytes, 0, format, GUID{}};
}

TEST(OpenALAudio, VolumeIsGainInDecibelsOverTwenty) {
  EXPECT_FLOAT_EQ(VolumeToGain(0), 1.0f);
  EXPECT_FLOAT_EQ(VolumeToGain(-2000), 0.1f);
  EXPECT_FLOAT_EQ(VolumeToGain(-10000), 1e-5f);
  EXPECT_NEAR(VolumeToGain(-600), 0.501187f, 1e-6f);
}

// The same device behaviour on both outputs: the null one and the silent fallback.
class OpenALDeviceTest : public ::testing::TestWithParam<const char*> {
 protected:
  std::vector<std::string> notices;
  OpenALAudio audio{GetParam(), [this](const std::string& message) { notices.push_back(message); }};
  AudioDevice* device = nullptr;

  void SetUp() override {
    ASSERT_TRUE(kNullDriver);
    ASSERT_EQ(audio.CreateDirectSound8(&device), S_OK);
    ASSERT_EQ(device->Initialize(nullptr), S_OK);
    ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_NORMAL), S_OK);
  }
  void TearDown() override {
    if (device) device->Release();
  }
  bool Silent() const { return std::strcmp(GetParam(), kMissingDevice) == 0; }
};

TEST_P(OpenALDeviceTest, OpensTheNullOutputOrGoesOnSilentlySayingSoOnce) {
  EXPECT_EQ(audio.Silent(), Silent());
  EXPECT_EQ(notices.size(), Silent() ? 1u : 0u);
  if (Silent()) {
    EXPECT_NE(notices[0].find("without sound"), std::string::npos) << notices[0];
  }
  // A second device of the same service says nothing more.
  AudioDevice* second = nullptr;
  ASSERT_EQ(audio.CreateDirectSound8(&second), S_OK);
  EXPECT_EQ(second->Initialize(nullptr), S_OK);
  EXPECT_EQ(notices.size(), Silent() ? 1u : 0u);
  second->Release();
}

TEST_P(OpenALDeviceTest, BuffersLockPlayAndShareTheirSamplesWithDuplicates) {
  WAVEFORMATEX format = MonoPcm16();
  DSBUFFERDESC description = Description(&format);
  AudioBuffer* buffer = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), S_OK);

  void* p1 = nullptr;
  void* p2 = nullptr;
  DWORD n1 = 0, n2 = 0;
  ASSERT_EQ(buffer->Lock(0, 40000, &p1, &n1, &p2, &n2, 0), S_OK);
  EXPECT_EQ(n1, 40000u);
  EXPECT_EQ(n2, 0u);
  EXPECT_EQ(p2, nullptr);
  EXPECT_EQ(buffer->Lock(0, 2, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDCALL) << "one lock at a time";
  std::vector<std::int16_t> ramp(20000);
  for (int i = 0; i < 20000; ++i) ramp[i] = static_cast<std::int16_t>(i - 10000);
  std::memcpy(p1, ramp.data(), 40000);
  ASSERT_EQ(buffer->Unlock(p1, 40000, nullptr, 0), S_OK);
  EXPECT_EQ(buffer->Unlock(p1, 40000, nullptr, 0), DSERR_INVALIDCALL);

  AudioBuffer* duplicate = nullptr;
  ASSERT_EQ(buffer->SetVolume(-1234), S_OK);
  ASSERT_EQ(device->DuplicateSoundBuffer(buffer, &duplicate), S_OK);
  LONG volume = 0;
  ASSERT_EQ(duplicate->GetVolume(&volume), S_OK);
  EXPECT_EQ(volume, -1234) << "a duplicate starts with its original's volume";

  // A lock that runs past the end wraps to the start, here into the samples written above.
  ASSERT_EQ(duplicate->Lock(30000, 20000, &p1, &n1, &p2, &n2, 0), S_OK);
  EXPECT_EQ(n1, 10000u);
  EXPECT_EQ(n2, 10000u);
  EXPECT_EQ(std::memcmp(p1, ramp.data() + 15000, 10000), 0);
  EXPECT_EQ(std::memcmp(p2, ramp.data(), 10000), 0);
  ASSERT_EQ(duplicate->Unlock(p1, n1, p2, n2), S_OK);

  ASSERT_EQ(duplicate->SetVolume(-2000), S_OK);
  ASSERT_EQ(duplicate->Play(0, 0, 0), S_OK);
  DWORD status = 99;
  ASSERT_EQ(duplicate->GetStatus(&status), S_OK);
  EXPECT_EQ(status, Silent() ? 0u : DSBSTATUS_PLAYING);
  ASSERT_EQ(buffer->GetStatus(&status), S_OK);
  EXPECT_EQ(status, 0u) << "voices play independently";
  ASSERT_EQ(duplicate->GetVolume(&volume), S_OK);
  EXPECT_EQ(volume, -2000);
  ASSERT_EQ(buffer->GetVolume(&volume), S_OK);
  EXPECT_EQ(volume, -1234);
  ASSERT_EQ(duplicate->Play(0, 0, DSBPLAY_LOOPING), S_OK);
  ASSERT_EQ(duplicate->GetStatus(&status), S_OK);
  EXPECT_EQ(status, Silent() ? 0u : DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  ASSERT_EQ(duplicate->Stop(), S_OK);
  ASSERT_EQ(duplicate->GetStatus(&status), S_OK);
  EXPECT_EQ(status, 0u);

  // The device may go first; its output stays open for the buffers still made on it.
  device->Release();
  device = nullptr;
  EXPECT_EQ(buffer->Play(0, 0, 0), S_OK);
  duplicate->Release();
  buffer->Release();
}

TEST_P(OpenALDeviceTest, RefusesWhatDirectSoundRefuses) {
  WAVEFORMATEX format = MonoPcm16();
  DSBUFFERDESC description = Description(&format);
  AudioBuffer* buffer = nullptr;
  EXPECT_EQ(device->Initialize(nullptr), DSERR_ALREADYINITIALIZED);
  EXPECT_EQ(device->SetCooperativeLevel(nullptr, 0), DSERR_INVALIDPARAM);

  DSBUFFERDESC wrongSize = description;
  wrongSize.dwSize = sizeof(DSBUFFERDESC) == 36 ? 20 : sizeof(DSBUFFERDESC);
  EXPECT_EQ(device->CreateSoundBuffer(&wrongSize, &buffer, nullptr), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer, nullptr);
  WAVEFORMATEX badAlign = format;
  badAlign.nBlockAlign = 4;
  DSBUFFERDESC badFormat = Description(&badAlign);
  EXPECT_EQ(device->CreateSoundBuffer(&badFormat, &buffer, nullptr), DSERR_INVALIDPARAM);
  DSBUFFERDESC oddBytes = Description(&format, 40001);
  EXPECT_EQ(device->CreateSoundBuffer(&oddBytes, &buffer, nullptr), DSERR_INVALIDPARAM);
  int outer = 0;
  EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, &outer), DSERR_INVALIDPARAM);

  ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), S_OK);
  EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetVolume(-10001), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetVolume(-10000), S_OK);
  EXPECT_EQ(buffer->Play(1, 0, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Play(0, 0, 2), DSERR_INVALIDPARAM);
  void* p1 = nullptr;
  void* p2 = nullptr;
  DWORD n1 = 0, n2 = 0;
  EXPECT_EQ(buffer->Lock(40000, 2, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 40002, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(39998, 4, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM) << "a wrap needs pointer 2";
  ASSERT_EQ(buffer->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), S_OK);
  EXPECT_EQ(n1, 40000u);
  EXPECT_EQ(buffer->Unlock(static_cast<char*>(p1) + 2, 2, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Unlock(p1, n1, nullptr, 0), S_OK);
  AudioBuffer* duplicate = nullptr;
  EXPECT_EQ(device->DuplicateSoundBuffer(nullptr, &duplicate), DSERR_INVALIDPARAM);
  buffer->Release();

  DSBUFFERDESC noVolume = Description(&format, 40000, DSBCAPS_GLOBALFOCUS);
  ASSERT_EQ(device->CreateSoundBuffer(&noVolume, &buffer, nullptr), S_OK);
  EXPECT_EQ(buffer->SetVolume(-100), DSERR_CONTROLUNAVAIL);
  buffer->Release();

  AudioDevice* fresh = nullptr;
  ASSERT_EQ(audio.CreateDirectSound8(&fresh), S_OK);
  EXPECT_EQ(fresh->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_UNINITIALIZED);
  EXPECT_EQ(fresh->Initialize(&description.guid3DAlgorithm), DSERR_NODRIVER) << "only the default output";
  fresh->Release();
}

TEST_P(OpenALDeviceTest, CarriesTheWholeSoundModule) {
  Platform saved = Host;
  Host.audio = &audio;
  for (int v = 0; v < 4; ++v) ClickLevels[v] = ThudLevels[v] = 0.0f;
  InitSound();
  PlayStroke(0.8f);
  PlayDrop();
  PlayScore();
  PlayFoul();
  for (int k = 0; k < 6; ++k) PlayClick(0.5f);
  PlayThud(2.0f);
  LONG volume = 0;
  ASSERT_EQ(ClickVoices[3]->GetVolume(&volume), S_OK);
  EXPECT_EQ(volume, LevelToVolume(0.5f));
  DWORD status = 0;
  ASSERT_EQ(ThudVoices[0]->GetStatus(&status), S_OK);
  EXPECT_EQ(status, Silent() ? 0u : DSBSTATUS_PLAYING);
  StepSound();
  EXPECT_NO_THROW(ReleaseSound());
  Host = saved;
}

INSTANTIATE_TEST_SUITE_P(NullAndMissingOutputs, OpenALDeviceTest, ::testing::Values("", kMissingDevice),
                         [](const auto& info) { return std::string(*info.param ? "Missing" : "Null"); });

TEST(OpenALAudio, WithoutANoticeSinkTheMessageGoesToStandardError) {
  OpenALAudio audio(kMissingDevice);
  AudioDevice* device = nullptr;
  ASSERT_EQ(audio.CreateDirectSound8(&device), S_OK);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(device->Initialize(nullptr), S_OK);
  std::string said = ::testing::internal::GetCapturedStderr();
  device->Release();
  EXPECT_EQ(said.rfind("kuvo: no sound output device could be opened", 0), 0u) << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line";
}

}  // namespace
}  // namespace kuvo
