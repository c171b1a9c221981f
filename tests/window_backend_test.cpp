// The SDL window on a real display: Windows key codes, the game's button numbers, activation, close and
// resize as events, the virtual cursor while hidden, and maximising with no window manager (Xvfb).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "control/modCtrl.h"
#include "platform/sdl/SdlVideo.h"
#include "platform/sdl/SdlWindow.h"
#include "platform/testing/ScriptedWindow.h"

using namespace kuvo;

namespace {

struct Sink : WindowEvents {
  std::vector<std::string> events;
  void KeyDown(int vk) override { events.push_back("key " + std::to_string(vk)); }
  void MouseDown(int b) override { events.push_back("down " + std::to_string(b)); }
  void MouseUp(int b) override { events.push_back("up " + std::to_string(b)); }
  void Activate(bool a) override { events.push_back(a ? "active" : "inactive"); }
  void Close() override { events.push_back("close"); }
  void Resize(int w, int h) override { events.push_back("resize " + std::to_string(w) + "x" + std::to_string(h)); }
};

TEST(WindowKeys, EveryKeyTheGameReadsHasItsWindowsCode) {
  EXPECT_EQ(VirtualKeyOf(SDLK_ESCAPE), 27);
  EXPECT_EQ(VirtualKeyOf(SDLK_F5), 116);
  EXPECT_EQ(VirtualKeyOf(SDLK_i), 73);
  EXPECT_EQ(VirtualKeyOf(SDLK_w), 87);
  EXPECT_EQ(VirtualKeyOf(SDLK_a), 65);
  EXPECT_EQ(VirtualKeyOf(SDLK_s), 83);
  EXPECT_EQ(VirtualKeyOf(SDLK_d), 68);
  EXPECT_EQ(VirtualKeyOf(SDLK_LEFT), 37);
  EXPECT_EQ(VirtualKeyOf(SDLK_UP), 38);
  EXPECT_EQ(VirtualKeyOf(SDLK_RIGHT), 39);
  EXPECT_EQ(VirtualKeyOf(SDLK_DOWN), 40);
  EXPECT_EQ(VirtualKeyOf(SDLK_z), 90);
  EXPECT_EQ(VirtualKeyOf(SDLK_0), 48);
  EXPECT_EQ(VirtualKeyOf(SDLK_F1), 112);
  EXPECT_EQ(VirtualKeyOf(SDLK_F12), 123);
  EXPECT_EQ(VirtualKeyOf(SDLK_VOLUMEUP), 0) << "keys without a code are dropped";
}

class SdlWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string why = DisplayProblem(); !why.empty()) GTEST_SKIP() << why << " (scripts/test runs this under Xvfb)";
    window = std::make_unique<SdlWindow>("Kuvo window test", 320, 200);
    // The window is shown and focused by the time the game hides the cursor.
    for (int i = 0; i < 50 && SDL_GetMouseFocus() != window->Handle(); ++i) {
      Sink settle;
      SDL_Delay(10);
      window->PumpMessages(settle);
    }
  }
  std::unique_ptr<SdlWindow> window;

  std::vector<std::string> Deliver(SDL_Event e) {
    Sink sink;
    window->Translate(e, sink);
    return sink.events;
  }
  SDL_Event Event(Uint32 type) {
    SDL_Event e{};
    e.type = type;
    return e;
  }
};

TEST_F(SdlWindowTest, EventsArriveAsTheGamesEvents) {
  Uint32 id = SDL_GetWindowID(window->Handle());
  SDL_Event key = Event(SDL_KEYDOWN);
  key.key.windowID = id;
  key.key.keysym.sym = SDLK_F5;
  EXPECT_EQ(Deliver(key), std::vector<std::string>{"key 116"});

  SDL_Event button = Event(SDL_MOUSEBUTTONDOWN);
  button.button.windowID = id;
  button.button.button = SDL_BUTTON_RIGHT;
  EXPECT_EQ(Deliver(button), std::vector<std::string>{"down 2"});
  button.type = SDL_MOUSEBUTTONUP;
  button.button.button = SDL_BUTTON_MIDDLE;
  EXPECT_EQ(Deliver(button), std::vector<std::string>{"up 3"});
  button.button.button = SDL_BUTTON_LEFT;
  EXPECT_EQ(Deliver(button), std::vector<std::string>{"up 1"});

  SDL_Event focus = Event(SDL_WINDOWEVENT);
  focus.window.windowID = id;
  focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  EXPECT_EQ(Deliver(focus), std::vector<std::string>{"inactive"});
  focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
  EXPECT_EQ(Deliver(focus), std::vector<std::string>{"active"});
  focus.window.event = SDL_WINDOWEVENT_CLOSE;
  EXPECT_EQ(Deliver(focus), std::vector<std::string>{"close"});
  focus.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
  focus.window.data1 = 800;
  focus.window.data2 = 600;
  EXPECT_EQ(Deliver(focus), std::vector<std::string>{"resize 800x600"});

  key.key.windowID = id + 100;  // another window's key is not ours
  EXPECT_TRUE(Deliver(key).empty());
}

TEST_F(SdlWindowTest, HiddenCursorMovesByMotionAndReturnsHomeWithoutFeedback) {
  window->ShowCursor(false);
  EXPECT_EQ(SDL_GetRelativeMouseMode(), SDL_TRUE);
  window->SetCursorPos(500, 300);
  SDL_Event motion = Event(SDL_MOUSEMOTION);
  motion.motion.windowID = SDL_GetWindowID(window->Handle());
  motion.motion.xrel = 7;
  motion.motion.yrel = -3;
  Deliver(motion);
  int x = 0, y = 0;
  window->GetCursorPos(x, y);
  EXPECT_EQ(x, 507);
  EXPECT_EQ(y, 297);
  // Re-centring moves only the game's point: nothing comes back as motion at the next pump.
  window->SetCursorPos(500, 300);
  Sink sink;
  window->PumpMessages(sink);
  window->GetCursorPos(x, y);
  EXPECT_EQ(x, 500);
  EXPECT_EQ(y, 300);
  window->ShowCursor(true);
  EXPECT_EQ(SDL_GetRelativeMouseMode(), SDL_FALSE);
}

TEST_F(SdlWindowTest, MaximiseFillsTheUsableAreaWithoutAWindowManager) {
  SDL_Rect usable;
  ASSERT_EQ(SDL_GetDisplayUsableBounds(0, &usable), 0);
  window->Maximise();
  EXPECT_EQ(window->ClientWidth(), usable.w);
  EXPECT_EQ(window->ClientHeight(), usable.h);
  // The new size reaches the game, which remakes the projection's aspect from it.
  Form1Events game;
  bool resized = false;
  for (int i = 0; i < 50 && !resized; ++i) {
    Sink sink;
    SDL_Delay(10);
    window->PumpMessages(sink);
    for (const std::string& e : sink.events)
      if (e == "resize " + std::to_string(usable.w) + "x" + std::to_string(usable.h)) resized = true;
  }
  EXPECT_TRUE(resized);
  game.Resize(usable.w, usable.h);
  EXPECT_FLOAT_EQ(AspectRatio, static_cast<float>(usable.w) / static_cast<float>(usable.h));
}

TEST(FormResize, KeepsTheLastAspectWhenMinimised) {
  Form1Events game;
  FieldOfView = 1.0f;
  game.Resize(1600, 900);
  EXPECT_FLOAT_EQ(AspectRatio, 16.0f / 9.0f);
  float x = ProjectionMatrix.m[0][0], y = ProjectionMatrix.m[1][1];
  EXPECT_FLOAT_EQ(y / x, 16.0f / 9.0f) << "the projection is remade with the new aspect";
  game.Resize(0, 0);
  EXPECT_FLOAT_EQ(AspectRatio, 16.0f / 9.0f);
}

}  // namespace
