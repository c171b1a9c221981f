// Start-up as the recorders see it: every device and audio call that start-up makes is made to fail in
// turn. The order of the whole run, across both devices, is checked by call_order_test.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/Errors.h"
#include "platform/testing/Headless.h"
#include "sound/modDS.h"
#include "textures/modTex.h"

using namespace kuvo;

namespace {

// Closes the window at the first pass, so a run is start-up, one pass and shutdown.
void CloseAtOnce(HeadlessPlatform& host) {
  host.window.script = [](long pass, ScriptedWindow& window) {
    if (pass > 0) throw std::runtime_error("the run went on after the window closed");
    window.RequestClose();
  };
}

struct StartUpCalls {
  std::vector<std::string> gfx;   // names, in order, of the graphics calls start-up made
  std::vector<AudioOp> audio;     // the audio calls, in order
};

// Records one clean start-up: every call made before the first pass.
StartUpCalls RecordStartUp() {
  HeadlessPlatform host;
  RecordingAudio audio{RecordingAudio::Mode::Log};
  Host.audio = &audio;
  host.gfx.SetKeepLog(true);
  StartUpCalls calls;
  host.window.script = [&](long pass, ScriptedWindow& window) {
    if (pass != 0) return;
    for (const RecordedCall& c : host.gfx.Calls()) calls.gfx.emplace_back(c.name);
    for (const AudioCall& c : audio.Calls()) calls.audio.push_back(c.op);
    window.RequestClose();
  };
  RunGame();
  return calls;
}

// The name the game gives an audio call in its error.
std::string AudioCallName(AudioOp op) {
  switch (op) {
    case AudioOp::CreateDirectSound8: return "CoCreateInstance(CLSID_DirectSound8)";
    case AudioOp::Initialize: return "IDirectSound8::Initialize";
    case AudioOp::SetCooperativeLevel: return "IDirectSound8::SetCooperativeLevel";
    case AudioOp::CreateSoundBuffer: return "IDirectSound8::CreateSoundBuffer";
    case AudioOp::DuplicateSoundBuffer: return "IDirectSound8::DuplicateSoundBuffer";
    case AudioOp::Lock: return "IDirectSoundBuffer::Lock";
    case AudioOp::Unlock: return "IDirectSoundBuffer::Unlock";
    case AudioOp::SetVolume: return "IDirectSoundBuffer::SetVolume";
    case AudioOp::Play: return "IDirectSoundBuffer::Play";
    case AudioOp::Stop: return "IDirectSoundBuffer::Stop";
    default: return "";
  }
}

// Both occurrences of a call that start-up makes twice; the first and last of one it makes more often
// (those between take the same path, and each run costs a whole texture build).
std::vector<long> Occurrences(long count) {
  if (count == 1) return {1};
  return {1, count};
}

// Nothing the failed run made may remain: every handle is empty and the audio recorder holds nothing.
void ExpectNothingLeft(const RecordingAudio& audio) {
  EXPECT_EQ(Device, nullptr);
  EXPECT_EQ(Direct3D, nullptr);
  for (GfxTexture* t : {LampReflectionTexture, PanelLightTexture, SurfaceTexture, SurfaceBumpTexture, ClothTexture,
                        WoodTexture, WhiteTexture, WoodLightTexture, ClothLightTexture, ShadowTexture, HudTexture})
    EXPECT_EQ(t, nullptr);
  EXPECT_EQ(HudSurface, nullptr);
  EXPECT_EQ(SoundDevice, nullptr);
  for (AudioBuffer* b : {StrokeSound, DropSound, ScoreSound, FoulSound}) EXPECT_EQ(b, nullptr);
  EXPECT_EQ(audio.LiveObjects(), 0);
}

// A run after the failure starts, plays a pass and shuts down cleanly.
void ExpectACleanRunAfterwards() {
  HeadlessPlatform host;
  CloseAtOnce(host);
  EXPECT_NO_THROW(RunGame());
  EXPECT_FALSE(Running);
  EXPECT_TRUE(host.window.CursorVisible());
  EXPECT_EQ(host.audio.LiveObjects(), 0);
}

// Which failures the game lets pass: the multisample check (no multisampling then) and the first device
// creation (the second, with software vertex processing, is tried).
bool FailureIsIgnored(const std::string& name, long occurrence) {
  return name == "Direct3D::CheckDeviceMultiSampleType" || (name == "Direct3D::CreateDevice" && occurrence == 1);
}

TEST(StartUpFailure, EveryGraphicsCallFailingEndsTheRunNamingItAndLeavesNothing) {
  const StartUpCalls recorded = RecordStartUp();
  std::map<std::string, long> counts;
  for (const std::string& name : recorded.gfx)
    if (!name.ends_with("::Release") && !name.ends_with("::AddRef")) ++counts[name];
  ASSERT_GE(counts.size(), 8u) << "start-up made too few graphics calls to be the real one";
  for (const auto& [name, count] : counts) {
    for (long occurrence : Occurrences(count)) {
      SCOPED_TRACE(name + " #" + std::to_string(occurrence));
      {
        HeadlessPlatform host;
        RecordingAudio audio{RecordingAudio::Mode::Log};
        Host.audio = &audio;
        CloseAtOnce(host);
        host.gfx.FailCall(name, occurrence, E_FAIL);
        if (FailureIsIgnored(name, occurrence)) {
          EXPECT_NO_THROW(RunGame());
        } else {
          try {
            RunGame();
            ADD_FAILURE() << "the run did not fail";
          } catch (const DeviceError& e) {
            EXPECT_EQ(e.Call(), name);
            EXPECT_EQ(e.Code(), E_FAIL);
          }
          // The cursor comes back with the error.
          EXPECT_TRUE(host.window.CursorVisible());
        }
        ExpectNothingLeft(audio);
      }
    }
  }
  // Each failed run above followed another; the last is followed by a run that must go through.
  ExpectACleanRunAfterwards();
}

TEST(StartUpFailure, EveryAudioCallFailingEndsTheRunNamingItAndLeavesNothing) {
  const StartUpCalls recorded = RecordStartUp();
  std::map<AudioOp, long> counts;
  for (AudioOp op : recorded.audio)
    if (op != AudioOp::ReleaseBuffer && op != AudioOp::ReleaseDevice) ++counts[op];
  ASSERT_GE(counts.size(), 6u) << "start-up made too few audio calls to be the real one";
  for (const auto& [op, count] : counts) {
    for (long occurrence : Occurrences(count)) {
      const std::string name = AudioCallName(op);
      SCOPED_TRACE(name + " #" + std::to_string(occurrence));
      ASSERT_FALSE(name.empty()) << "start-up makes an audio call this test does not know";
      {
        HeadlessPlatform host;
        RecordingAudio audio{RecordingAudio::Mode::Log};
        Host.audio = &audio;
        CloseAtOnce(host);
        audio.FailCall(op, DSERR_ALLOCATED, occurrence - 1);
        try {
          RunGame();
          ADD_FAILURE() << "the run did not fail";
        } catch (const DeviceError& e) {
          EXPECT_EQ(e.Call(), name);
          EXPECT_EQ(e.Code(), DSERR_ALLOCATED);
        }
        ExpectNothingLeft(audio);
      }
    }
  }
  // Each failed run above followed another; the last is followed by a run that must go through.
  ExpectACleanRunAfterwards();
}

}  // namespace
