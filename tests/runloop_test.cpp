// The run loop on the testing backends: pacing of the 1 ms steps, pausing, the game-over
// branch and shutdown, driven pass by pass through the scripted window.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <stdexcept>
#include <vector>

#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/testing/Headless.h"

using namespace kuvo;

namespace {

struct PassRecord {
  double simTime;
  double clockNow;
  bool gameOver;
  long plays;
};

class RunLoopTest : public ::testing::Test {
 protected:
  HeadlessPlatform host;
  std::vector<PassRecord> passes;  // the state each pump finds, i.e. after the previous pass

  void SetUp() override {
    IsComputer[1] = false;
    IsComputer[2] = false;
  }

  // Runs the game; `step(pass)` acts at the top of every pass. A loop still running after
  // `limit` passes fails the test.
  template <class Step>
  void Run(Step step, long limit = 1000) {
    host.window.script = [&](long pass, ScriptedWindow&) {
      passes.push_back({SimTime, ClockNow, GameOver, host.audio.Count(AudioOp::Play)});
      if (pass >= limit) throw std::runtime_error("the run loop did not stop");
      step(pass);
    };
    RunGame();
  }
};

long Steps(double simTime) { return std::lround(simTime * 1000.0); }

}  // namespace

TEST_F(RunLoopTest, StepsRunStrictlyWhileSimulationTimeIsBehindTheClock) {
  Run([&](long pass) {
    if (pass == 0) host.clock.Advance(0.001);
    if (pass == 1) host.clock.Advance(0.0024);
    if (pass == 2) {
      host.clock.Advance(0.0052);
      host.window.PressKey(27);
    }
  });
  ASSERT_EQ(passes.size(), 3u);
  // Clock and simulation meet exactly at 1 ms: the strict comparison runs no second step.
  EXPECT_EQ(passes[1].simTime, 0.001);
  EXPECT_EQ(passes[1].clockNow, 0.001);
  // 3.4 ms of clock: the simulation ends the pass at the first whole step not behind it.
  EXPECT_EQ(Steps(passes[2].simTime), 4);
  EXPECT_GE(passes[2].simTime, passes[2].clockNow);
  // Esc ends the loop after the pass in which it was pressed has run all of its steps.
  EXPECT_EQ(Steps(SimTime), 9);
  EXPECT_EQ(host.window.Pumps(), 3);
  EXPECT_FALSE(Running);
  EXPECT_TRUE(host.window.CursorVisible());
  EXPECT_EQ(Device, nullptr);
}

TEST_F(RunLoopTest, InactiveTimeIsDroppedNotCaughtUp) {
  Run([&](long pass) {
    if (pass == 0) host.window.SetActive(false);
    if (pass >= 1 && pass <= 3) host.clock.Advance(1.0);
    if (pass == 4) {
      host.window.SetActive(true);
      host.clock.Advance(0.002);
    }
    if (pass == 6) {
      host.window.PressKey(27);
      host.clock.Advance(0.001);  // Esc is read by the next step
    }
  });
  // While paused the loop sleeps 15 ms per pass and keeps the simulation level with the clock.
  EXPECT_EQ(host.clock.SleepCalls(), 4);
  EXPECT_EQ(passes[4].simTime, passes[4].clockNow);
  EXPECT_GT(passes[4].clockNow, 3.0);
  // Back in play, only the time since the last paused pass is stepped: its sleep and the 2 ms.
  const long resumed = Steps(passes[5].simTime - passes[4].simTime);
  EXPECT_GE(resumed, 17);
  EXPECT_LE(resumed, 18);  // 17 ms of clock, give or take the rounding of the sums
}

TEST_F(RunLoopTest, AKeyPressedWhilePausedActsOnlyAfterReactivation) {
  std::vector<int> pitchSigns;  // as each pump finds it
  Run([&](long pass) {
    pitchSigns.push_back(PitchSign);
    if (pass == 0) host.window.SetActive(false);
    if (pass == 1) host.window.PressKey(73);  // I flips the camera's tilt, in a control step
    if (pass >= 1 && pass <= 3) host.clock.Advance(0.5);
    if (pass == 4) {
      host.window.SetActive(true);
      host.clock.Advance(0.002);
    }
    if (pass == 6) {
      host.window.PressKey(27);
      host.clock.Advance(0.001);
    }
  });
  ASSERT_GE(pitchSigns.size(), 6u);
  // Held in the key table while paused, not acted on: no step runs until the window is active again.
  EXPECT_EQ(pitchSigns[2], -1);
  EXPECT_EQ(pitchSigns[4], -1);
  EXPECT_EQ(pitchSigns[5], 1) << "the first step after reactivation reads it";
}

TEST_F(RunLoopTest, GameOverBlinksEvery51PassesAndF5PlaysOn) {
  Run([&](long pass) {
    if (pass == 0) GameOver = true;
    if (pass == 160) host.window.PressKey(116);
    if (pass == 162) {
      host.window.PressKey(27);
      host.clock.Advance(0.001);
    }
  });
  ASSERT_EQ(passes.size(), 163u);
  const long before = passes[1].plays;
  // The scoring sound marks every flip of the result text: the 51st, 102nd and 153rd pass of the
  // branch (passes 50, 101 and 152, whose effect the next pump sees).
  EXPECT_EQ(passes[50].plays, before);
  EXPECT_EQ(passes[51].plays, before + 1);
  EXPECT_EQ(passes[101].plays, before + 1);
  EXPECT_EQ(passes[102].plays, before + 2);
  EXPECT_EQ(passes[153].plays, before + 3);
  EXPECT_EQ(passes[160].plays, before + 3);
  EXPECT_TRUE(passes[160].gameOver);
  // F5 racks in the game-over branch; the next pass is normal play again.
  EXPECT_FALSE(passes[161].gameOver);
  EXPECT_EQ(host.clock.SleepCalls(), 161);
}

// The close box, SIGINT and SIGTERM end the run after the pass that sees them, in every mode, with the
// normal shutdown; the handler the program had before comes back afterwards.
TEST_F(RunLoopTest, CloseAndStopSignalsEndTheRunAfterTheCurrentPassInEveryMode) {
  enum Mode { PausedMode, GameOverMode, PlayWithoutSteps };
  enum Stop { CloseBox, Interrupt, Terminate };
  static volatile std::sig_atomic_t outerSignals;
  outerSignals = 0;  // a static keeps its count from an earlier repeat of the test
  auto outer = [](int) { outerSignals = outerSignals + 1; };
  std::signal(SIGINT, outer);
  std::signal(SIGTERM, outer);
  for (int mode : {PausedMode, GameOverMode, PlayWithoutSteps}) {
    for (int stop : {CloseBox, Interrupt, Terminate}) {
      SCOPED_TRACE(::testing::Message() << "mode " << mode << ", stop " << stop);
      passes.clear();
      const long pumpsBefore = host.window.Pumps();
      Run([&](long pass) {
        const long local = pass - pumpsBefore;
        if (local == 0 && mode == PausedMode) host.window.SetActive(false);
        if (local == 0 && mode == GameOverMode) GameOver = true;
        if (local == 3) {
          if (stop == CloseBox) host.window.RequestClose();
          if (stop == Interrupt) std::raise(SIGINT);
          if (stop == Terminate) std::raise(SIGTERM);
        }
      }, pumpsBefore + 50);
      EXPECT_EQ(host.window.Pumps() - pumpsBefore, 4);
      EXPECT_FALSE(Running);
      EXPECT_TRUE(host.window.CursorVisible());
      EXPECT_EQ(Device, nullptr);
      EXPECT_EQ(host.audio.LiveObjects(), 0);
      Paused = false;  // the next run starts with the window active
    }
  }
  EXPECT_EQ(outerSignals, 0);
  std::raise(SIGINT);
  std::raise(SIGTERM);
  EXPECT_EQ(outerSignals, 2);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}
