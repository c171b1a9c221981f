// The order of the calls the game makes across the testing backends, in one log: the audio device's
// calls between the graphics device's, the cursor and the clock. Start-up, each kind of pass and
// shutdown are checked as sequences of the procedures that make the calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/modMain.h"
#include "control/modCtrl.h"
#include "physics/modPhys.h"
#include "platform/testing/CallOrder.h"
#include "platform/testing/Headless.h"
#include "sound/modDS.h"

using namespace kuvo;

namespace {

// The scripted window, noting the calls the game makes on it.
class OrderedWindow : public ScriptedWindow {
 public:
  explicit OrderedWindow(CallOrder& order) : order_(order) {}
  void PumpMessages(WindowEvents& sink) override {
    order_.Note("window Pump");
    ScriptedWindow::PumpMessages(sink);
  }
  void ShowCursor(bool show) override {
    order_.Note(show ? "window ShowCursor 1" : "window ShowCursor 0");
    ScriptedWindow::ShowCursor(show);
  }
  void GetCursorPos(int& x, int& y) override {
    order_.Note("window GetCursorPos");
    ScriptedWindow::GetCursorPos(x, y);
  }
  void SetCursorPos(int x, int y) override {
    order_.Note("window SetCursorPos");
    ScriptedWindow::SetCursorPos(x, y);
  }

 private:
  CallOrder& order_;
};

// The virtual clock, noting every reading and sleep.
class OrderedClock : public VirtualClock {
 public:
  explicit OrderedClock(CallOrder& order) : order_(order) {}
  std::int64_t QueryPerformanceCounter() override {
    order_.Note("clock Read");
    return VirtualClock::QueryPerformanceCounter();
  }
  void Sleep(int milliseconds) override {
    order_.Note("clock Sleep " + std::to_string(milliseconds));
    VirtualClock::Sleep(milliseconds);
  }
  double TimeOfDay() override {
    order_.Note("clock TimeOfDay");
    return VirtualClock::TimeOfDay();
  }

 private:
  CallOrder& order_;
};

class CallOrderTest : public ::testing::Test {
 protected:
  CallOrder order;
  HeadlessPlatform host;
  OrderedWindow window{order};
  OrderedClock clock{order};
  std::map<std::string, std::string> roles;  // audio buffer id -> the effect it plays

  void SetUp() override {
    Host.window = &window;
    Host.clock = &clock;
    host.audio.SetOrder(&order);
    host.gfx.SetOrder(&order);
    IsComputer[1] = false;
    IsComputer[2] = false;
  }
  void TearDown() override {
    host.audio.SetOrder(nullptr);
    host.gfx.SetOrder(nullptr);
  }

  // Runs the game; `step(pass)` acts at the top of every pass (the effects' ids are known by then).
  template <class Step>
  void Run(Step step, long limit = 400) {
    window.script = [&, step](long pass, ScriptedWindow&) {
      if (pass == 0) NameTheEffects();
      if (pass >= limit) throw std::runtime_error("the run loop did not stop");
      step(pass);
    };
    RunGame();
  }

  void NameTheEffects() {
    auto name = [&](AudioBuffer* b, const char* role) { roles[std::to_string(host.audio.IdOf(b))] = role; };
    name(StrokeSound, "Stroke");
    name(DropSound, "Drop");
    name(ScoreSound, "Score");
    name(FoulSound, "Foul");
    for (int v = 0; v < 4; ++v) {
      name(ClickVoices[v], "Click");
      name(ThudVoices[v], "Thud");
    }
  }

  // The procedure a call belongs to. Calls between BeginScene and Present are the frame's; a volume set
  // or a play names the effect; the cursor's read and re-centring stay apart, one pair per control step.
  std::vector<std::string> Procedures() const {
    std::vector<std::string> out;
    bool inScene = false;
    for (const std::string& call : order.calls) {
      std::string p;
      auto is = [&](std::string_view prefix) { return call.starts_with(prefix); };
      if (is("gfx Device::BeginScene")) inScene = true;
      if (inScene) {
        p = "Frame";
        if (is("gfx Device::Present")) inScene = false;
      } else if (is("window Pump")) {
        p = "Pump";
      } else if (is("window ShowCursor 0")) {
        p = "HideCursor";
      } else if (is("window ShowCursor 1")) {
        p = "ShowCursor";
      } else if (is("window GetCursorPos")) {
        p = "MouseRead";
      } else if (is("window SetCursorPos")) {
        p = "MouseHome";
      } else if (is("clock Read")) {
        p = "Clock";
      } else if (is("clock TimeOfDay")) {
        p = "TimeOfDay";
      } else if (is("clock Sleep")) {
        p = call.substr(6);  // "Sleep 15"
      } else if (is("gfx Direct3D::") || is("gfx Device::SetRenderState") || is("gfx Device::SetSamplerState") ||
                 is("gfx Device::Release")) {
        p = "Device";
      } else if (is("gfx Device::CreateTexture") || is("gfx Texture::") || is("gfx Surface::")) {
        p = "Textures";
      } else if (is("gfx Device::CreateVertexBuffer") || is("gfx Device::CreateIndexBuffer") ||
                 is("gfx VertexBuffer::") || is("gfx IndexBuffer::")) {
        p = "Models";
      } else if (is("gfx Device::CreateVertex") || is("gfx Device::CreatePixelShader") || is("gfx VertexShader::") ||
                 is("gfx PixelShader::") || is("gfx VertexDeclaration::")) {
        p = "Shaders";
      } else if (is("audio SetVolume ") || is("audio Play ")) {
        const auto role = roles.find(call.substr(call.rfind(' ') + 1));
        p = role == roles.end() ? "Sound" : role->second;
      } else if (is("audio ")) {
        p = "Sound";
      } else {
        p = call;
      }
      if (out.empty() || out.back() != p) out.push_back(p);
    }
    return out;
  }

  // The procedures of each pass: from the pump at its top to the next pump (the last runs on into shutdown).
  std::vector<std::vector<std::string>> Passes() const {
    std::vector<std::vector<std::string>> passes(1);
    for (const std::string& p : Procedures()) {
      if (p == "Pump") passes.emplace_back();
      passes.back().push_back(p);
    }
    return passes;  // [0] is start-up
  }
};

using Seq = std::vector<std::string>;

// Everything off the table but two balls, the first about to strike the second in its first step.
void TwoBallsAboutToCollide() {
  for (BallState& b : Balls) b = BallState{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0f, BallOffTable};
  Balls[0] = BallState{{0.0f, 0, 0}, {0.001f, 0, 0}, {0.001f, 0, 0}, 0.0f, BallOnTable};
  Balls[1] = BallState{{0.0655f, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0f, BallOnTable};
  BallsAtRest = false;
  OpeningStroke = false;
  SelectedBall = 0;
}

}  // namespace

// Start-up builds the device, textures, models and shaders before sound opens; the rack reads the time of
// day, redraws the text line and reads the clock. Shutdown lets go of sound first, then shaders, models,
// textures and the device, and shows the cursor last.
TEST_F(CallOrderTest, StartUpAndShutdownCrossFromOneDeviceToTheOther) {
  Run([&](long pass) {
    if (pass == 0) window.RequestClose();
  });
  const auto passes = Passes();
  ASSERT_EQ(passes.size(), 2u);
  EXPECT_EQ(passes[0], (Seq{"HideCursor", "Clock", "MouseHome", "Device", "Textures", "Models", "Shaders", "Sound",
                            "TimeOfDay", "Textures", "Clock"}));
  EXPECT_EQ(passes[1],
            (Seq{"Pump", "Clock", "Frame", "Sound", "Shaders", "Models", "Textures", "Device", "ShowCursor"}));
  // The audio device goes after its buffers, and the graphics device after everything it made.
  const auto& calls = order.calls;
  const auto device = std::find(calls.begin(), calls.end(), "audio ReleaseDevice 1");
  ASSERT_NE(device, calls.end());
  EXPECT_TRUE((device + 1)->starts_with("gfx ")) << *(device + 1);
  EXPECT_EQ(*(calls.end() - 2), "gfx Direct3D::Release");
}

// Normal play: each 1 ms step reads the mouse (control) before the physics plays the click of the collision
// it finds; the frame comes after the last step. Paused: one clock reading and the sleep. Game over: control
// once, the frame, and every 51st pass the text line and the scoring sound before the sleep.
TEST_F(CallOrderTest, EachKindOfPassRunsItsProceduresInOrder) {
  Run([&](long pass) {
    if (pass == 0) {
      TwoBallsAboutToCollide();
      for (float& level : ClickLevels) level = -1.0f;
      clock.Advance(0.003);
    }
    if (pass == 1) window.SetActive(false);
    if (pass == 2) {
      window.SetActive(true);
      GameOver = true;
    }
    if (pass == 54) window.RequestClose();
  });
  const auto passes = Passes();
  ASSERT_EQ(passes.size(), 56u);
  // Three steps; the click of the first (its Stop and then its volume and play) follows its mouse read.
  EXPECT_EQ(passes[1], (Seq{"Pump", "Clock", "MouseRead", "MouseHome", "Sound", "Click", "MouseRead", "MouseHome",
                            "MouseRead", "MouseHome", "Frame"}));
  // The sound levels fall after the physics of each step: the click's level (200 x the closing speed of
  // 0.001 less one step's rolling resistance) has fallen by three steps, not two.
  EXPECT_NEAR(ClickLevels[0], 200 * (0.001 - 7.5e-8) - 3 * 0.001, 1e-6);
  EXPECT_NEAR(ClickLevels[1], -1.0 - 3 * 0.001, 1e-6);
  // The pass in which the window went inactive is already paused.
  EXPECT_EQ(passes[2], (Seq{"Pump", "Clock", "Sleep 15"}));
  // Game over from pass 3 on: the 51st such pass (pass 53) flips the result text and plays the score.
  const Seq gameOver{"Pump", "Clock", "MouseRead", "MouseHome", "Frame", "Sleep 15"};
  const Seq blink{"Pump", "Clock", "MouseRead", "MouseHome", "Frame", "Textures", "Score", "Sleep 15"};
  for (std::size_t p = 3; p <= 52; ++p) EXPECT_EQ(passes[p], gameOver) << "pass " << p - 1;
  EXPECT_EQ(passes[53], blink);
  EXPECT_EQ(Seq(passes[54].begin(), passes[54].begin() + 6), gameOver);
}

// In play the camera moves before the frame is drawn, so each frame carries the eye of its own pass (the
// vertex constants' register c8); when the game is over the camera is left where it was.
TEST_F(CallOrderTest, EachFrameShowsTheCameraOfItsOwnPassAndGameOverFreezesIt) {
  host.gfx.SetKeepLog(true);
  std::vector<std::size_t> firstCall;  // index in the graphics log at each pump
  std::vector<Vector3> eyes;           // CameraEye as each pump finds it, i.e. after the pass before
  Run([&](long pass) {
    firstCall.push_back(host.gfx.Calls().size());
    eyes.push_back(CameraEye);
    if (pass < 3) clock.Advance(0.002);
    if (pass == 3) GameOver = true;
    if (pass == 6) window.RequestClose();
  });
  firstCall.push_back(host.gfx.Calls().size());
  eyes.push_back(CameraEye);
  // The eye the frame drawn in pass p uploads first.
  auto frameEye = [&](std::size_t p) {
    for (std::size_t i = firstCall[p]; i < firstCall[p + 1]; ++i) {
      const RecordedCall& c = host.gfx.Calls()[i];
      if (c.name == "Device::SetVertexShaderConstantF" && c.args[0] == 0 && c.args[1] == 9)
        return Vector3{static_cast<float>(c.args[2 + 32]), static_cast<float>(c.args[2 + 33]),
                       static_cast<float>(c.args[2 + 34])};
    }
    ADD_FAILURE() << "pass " << p << " drew nothing";
    return Vector3{};
  };
  for (std::size_t p = 0; p < 3; ++p) {
    SCOPED_TRACE(::testing::Message() << "play, pass " << p);
    // The look point glides towards the cue ball, so every pass of play moves the eye.
    EXPECT_NE(eyes[p + 1].x, eyes[p].x);
    EXPECT_EQ(frameEye(p).x, eyes[p + 1].x);
    EXPECT_EQ(frameEye(p).y, eyes[p + 1].y);
    EXPECT_EQ(frameEye(p).z, eyes[p + 1].z);
  }
  for (std::size_t p = 3; p <= 6; ++p) {
    SCOPED_TRACE(::testing::Message() << "game over, pass " << p);
    EXPECT_EQ(eyes[p + 1].x, eyes[3].x);
    EXPECT_EQ(eyes[p + 1].z, eyes[3].z);
    EXPECT_EQ(frameEye(p).x, eyes[3].x);
  }
}
