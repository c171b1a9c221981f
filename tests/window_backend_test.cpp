// The SDL window on a real display: Windows key codes, the game's button numbers, activation, close and
// resize as events, the virtual cursor while hidden, and maximising with no window manager (Xvfb).
#include <gtest/gtest.h>
// After GoogleTest: Xlib defines macros (None, Bool) that GoogleTest uses as names.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "control/modCtrl.h"
#include "platform/imgui/ImGuiForms.h"
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

// A key as SDL reports it: the symbol the layout prints on it, its position, the modifier state.
int Vk(SDL_Keycode sym, SDL_Scancode position, Uint16 modifiers = KMOD_NONE) {
  return VirtualKeyOf(sym, position, modifiers);
}

TEST(WindowKeys, EveryKeyTheGameReadsHasItsWindowsCode) {
  EXPECT_EQ(Vk(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), 27);
  EXPECT_EQ(Vk(SDLK_F5, SDL_SCANCODE_F5), 116);
  EXPECT_EQ(Vk(SDLK_i, SDL_SCANCODE_I), 73);
  EXPECT_EQ(Vk(SDLK_w, SDL_SCANCODE_W), 87);
  EXPECT_EQ(Vk(SDLK_a, SDL_SCANCODE_A), 65);
  EXPECT_EQ(Vk(SDLK_s, SDL_SCANCODE_S), 83);
  EXPECT_EQ(Vk(SDLK_d, SDL_SCANCODE_D), 68);
  EXPECT_EQ(Vk(SDLK_LEFT, SDL_SCANCODE_LEFT), 37);
  EXPECT_EQ(Vk(SDLK_UP, SDL_SCANCODE_UP), 38);
  EXPECT_EQ(Vk(SDLK_RIGHT, SDL_SCANCODE_RIGHT), 39);
  EXPECT_EQ(Vk(SDLK_DOWN, SDL_SCANCODE_DOWN), 40);
  EXPECT_EQ(Vk(SDLK_z, SDL_SCANCODE_Z), 90);
  EXPECT_EQ(Vk(SDLK_0, SDL_SCANCODE_0), 48);
  EXPECT_EQ(Vk(SDLK_F1, SDL_SCANCODE_F1), 112);
  EXPECT_EQ(Vk(SDLK_F12, SDL_SCANCODE_F12), 123);
  EXPECT_EQ(Vk(SDLK_VOLUMEUP, SDL_SCANCODE_VOLUMEUP), 0) << "keys without a code are dropped";
}

// Russian (ЙЦУКЕН): the letter keys print Cyrillic, which has no Windows letter code; the key's
// position gives it, as Windows gives Cyrillic layouts the codes of the US positions.
TEST(WindowKeys, ACyrillicLayoutGivesTheLettersByPosition) {
  EXPECT_EQ(Vk(0x446, SDL_SCANCODE_W), 87);  // ц
  EXPECT_EQ(Vk(0x444, SDL_SCANCODE_A), 65);  // ф
  EXPECT_EQ(Vk(0x44B, SDL_SCANCODE_S), 83);  // ы
  EXPECT_EQ(Vk(0x432, SDL_SCANCODE_D), 68);  // в
  EXPECT_EQ(Vk(0x448, SDL_SCANCODE_I), 73);  // ш
  EXPECT_EQ(Vk(0x44F, SDL_SCANCODE_Z), 90);  // я: keys the game does not read keep their position's code too
  EXPECT_EQ(Vk(0x451, SDL_SCANCODE_GRAVE), 0) << "ё has no letter position";
  EXPECT_EQ(Vk(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), 27);
}

// German (QWERTZ): W, A, S, D and I are where US keyboards have them; Z and Y swap, and as on Windows
// they keep the letters printed on them, which the game does not read.
TEST(WindowKeys, AQwertzLayoutKeepsItsPrintedLetters) {
  EXPECT_EQ(Vk(SDLK_w, SDL_SCANCODE_W), 87);
  EXPECT_EQ(Vk(SDLK_a, SDL_SCANCODE_A), 65);
  EXPECT_EQ(Vk(SDLK_s, SDL_SCANCODE_S), 83);
  EXPECT_EQ(Vk(SDLK_d, SDL_SCANCODE_D), 68);
  EXPECT_EQ(Vk(SDLK_i, SDL_SCANCODE_I), 73);
  EXPECT_EQ(Vk(SDLK_z, SDL_SCANCODE_Y), 90);
  EXPECT_EQ(Vk(SDLK_y, SDL_SCANCODE_Z), 89);
  EXPECT_EQ(Vk(0xF6, SDL_SCANCODE_SEMICOLON), 0);  // ö
}

// French (AZERTY): the keys where US keyboards have W, A, S, D print Z, Q, S, D. Both work: the printed
// W and A (as Windows reports them) and the keys in the W, A, S, D places, whose printed Z and Q the
// game does not read. A printed letter the game reads always wins over the position.
TEST(WindowKeys, AnAzertyLayoutSelectsByPrintedLetterAndByPosition) {
  EXPECT_EQ(Vk(SDLK_z, SDL_SCANCODE_W), 87);  // Z, in W's place
  EXPECT_EQ(Vk(SDLK_q, SDL_SCANCODE_A), 65);  // Q, in A's place
  EXPECT_EQ(Vk(SDLK_s, SDL_SCANCODE_S), 83);
  EXPECT_EQ(Vk(SDLK_d, SDL_SCANCODE_D), 68);
  EXPECT_EQ(Vk(SDLK_a, SDL_SCANCODE_Q), 65);  // the printed A, in Q's place
  EXPECT_EQ(Vk(SDLK_w, SDL_SCANCODE_Z), 87);  // the printed W, in Z's place
  EXPECT_EQ(Vk(SDLK_i, SDL_SCANCODE_I), 73);
  EXPECT_EQ(Vk(SDLK_m, SDL_SCANCODE_SEMICOLON), 77) << "a letter with no letter position keeps its own code";
  EXPECT_EQ(Vk(SDLK_AMPERSAND, SDL_SCANCODE_1), 49) << "the unshifted digit row is its digits";
}

// With NumLock off the keypad's 8, 4, 6, 2 are the arrows; with it on they are the keypad's digits.
TEST(WindowKeys, KeypadArrowsAreArrowsWithNumLockOff) {
  EXPECT_EQ(Vk(SDLK_KP_8, SDL_SCANCODE_KP_8), 38);
  EXPECT_EQ(Vk(SDLK_KP_2, SDL_SCANCODE_KP_2), 40);
  EXPECT_EQ(Vk(SDLK_KP_4, SDL_SCANCODE_KP_4), 37);
  EXPECT_EQ(Vk(SDLK_KP_6, SDL_SCANCODE_KP_6), 39);
  EXPECT_EQ(Vk(SDLK_KP_7, SDL_SCANCODE_KP_7), 36);
  EXPECT_EQ(Vk(SDLK_KP_3, SDL_SCANCODE_KP_3), 34);
  EXPECT_EQ(Vk(SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD), 46);
  EXPECT_EQ(Vk(SDLK_KP_8, SDL_SCANCODE_KP_8, KMOD_NUM), 104);
  EXPECT_EQ(Vk(SDLK_KP_4, SDL_SCANCODE_KP_4, KMOD_NUM), 100);
  EXPECT_EQ(Vk(SDLK_KP_0, SDL_SCANCODE_KP_0, KMOD_NUM), 96);
  EXPECT_EQ(Vk(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER), 13);
  EXPECT_EQ(Vk(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, KMOD_NUM), 13);
}

class SdlWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string why = DisplayProblem(); !why.empty()) GTEST_SKIP() << why << " (scripts/test runs this under Xvfb)";
    window = std::make_unique<SdlWindow>("Kuvo window test", 320, 200);
    // The window is shown and focused by the time the game hides the cursor.
    for (int i = 0; i < 300 && (SDL_GetMouseFocus() != window->Handle() || SDL_GetKeyboardFocus() != window->Handle());
         ++i) {
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
  key.key.keysym.sym = 0x446;  // ц, on a Russian layout
  key.key.keysym.scancode = SDL_SCANCODE_W;
  EXPECT_EQ(Deliver(key), std::vector<std::string>{"key 87"});
  key.key.keysym.sym = SDLK_KP_4;  // NumLock off
  key.key.keysym.scancode = SDL_SCANCODE_KP_4;
  EXPECT_EQ(Deliver(key), std::vector<std::string>{"key 37"});

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

// The game turns by what the pointer would have moved on screen, the desktop's speed and acceleration
// included: SDL is asked for warped core motion, not the raw device counts of its X11 relative mode.
// Moving the pointer itself (as a desktop moves it) must reach the game, pixel for pixel.
TEST_F(SdlWindowTest, HiddenCursorMovesByScreenPixelsOfThePointer) {
  window->ShowCursor(false);
  ASSERT_EQ(SDL_GetRelativeMouseMode(), SDL_TRUE) << SDL_GetError();
  const char* warp = SDL_GetHint(SDL_HINT_MOUSE_RELATIVE_MODE_WARP);
  EXPECT_STREQ(warp ? warp : "(unset)", "1");
  // SDL counts motion from the first position it sees after the capture: show it one first.
  int px = 0, py = 0;
  SDL_GetGlobalMouseState(&px, &py);
  SDL_WarpMouseGlobal(px + 1, py + 1);
  for (int i = 0; i < 10; ++i) {
    Sink settle;
    SDL_Delay(10);
    window->PumpMessages(settle);
  }
  window->SetCursorPos(500, 300);
  SDL_GetGlobalMouseState(&px, &py);
  SDL_WarpMouseGlobal(px + 7, py - 3);
  int x = 500, y = 300;
  for (int i = 0; i < 50 && x == 500 && y == 300; ++i) {
    SDL_Delay(10);
    Sink sink;
    window->PumpMessages(sink);
    window->GetCursorPos(x, y);
  }
  EXPECT_EQ(x, 507);
  EXPECT_EQ(y, 297);
  window->ShowCursor(true);
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

// ---- The menu's forms on Dear ImGui in the SDL window ----

struct FormSink : FormEvents {
  Form* form = nullptr;
  std::vector<std::string> events;
  void Click(int control) override {
    events.push_back("click " + std::to_string(control));
    form->loaded = false;
  }
  void Close() override {
    events.push_back("close");
    form->loaded = false;
  }
};

Control MakeControl(ControlKind kind, int leftPx, int topPx, int widthPx, int heightPx, const char* text,
                    FontSpec font = {}) {
  Control c;
  c.kind = kind;
  c.left = leftPx * TwipsPerPixel;
  c.top = topPx * TwipsPerPixel;
  c.width = widthPx * TwipsPerPixel;
  c.height = heightPx * TwipsPerPixel;
  c.text = text;
  c.font = font;
  return c;
}

Form MakeForm(int widthPx, int heightPx) {
  Form f;
  f.caption = "Kuvo forms test";
  f.clientWidth = widthPx * TwipsPerPixel;
  f.clientHeight = heightPx * TwipsPerPixel;
  f.backColour = 0xFFFFFF;
  return f;
}

class ImGuiFormsTest : public SdlWindowTest {
 protected:
  void SetUp() override {
    SdlWindowTest::SetUp();
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_TIMER), 0);
    forms = std::make_unique<ImGuiForms>(*window);
  }
  void TearDown() override {
    for (SDL_TimerID t : timers) SDL_RemoveTimer(t);
    forms.reset();
    SDL_QuitSubSystem(SDL_INIT_TIMER);
  }

  SDL_Event Key(Uint32 type, SDL_Keycode sym, SDL_Scancode position) {
    SDL_Event e = Event(type);
    e.key.windowID = SDL_GetWindowID(window->Handle());
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = position;
    return e;
  }
  SDL_Event Text(const char* utf8) {
    SDL_Event e = Event(SDL_TEXTINPUT);
    e.text.windowID = SDL_GetWindowID(window->Handle());
    std::snprintf(e.text.text, sizeof e.text.text, "%s", utf8);
    return e;
  }
  SDL_Event CloseBox() {
    SDL_Event e = Event(SDL_WINDOWEVENT);
    e.window.windowID = SDL_GetWindowID(window->Handle());
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    return e;
  }

  // Pushes `events` onto SDL's queue together, `ms` from now, from SDL's timer thread.
  struct Later {
    std::vector<SDL_Event> events;
    std::atomic<bool>* fired;
  };
  void PushLater(Uint32 ms, std::vector<SDL_Event> events, std::atomic<bool>* fired = nullptr) {
    later.push_back({std::move(events), fired});
    timers.push_back(SDL_AddTimer(
        ms,
        [](Uint32, void* param) -> Uint32 {
          auto* l = static_cast<Later*>(param);
          for (SDL_Event& e : l->events) SDL_PushEvent(&e);
          if (l->fired) *l->fired = true;
          return 0;
        },
        &later.back()));
  }
  // A form that is still open after `ms` is closed by its close box, so that a failing test ends.
  void CloseAfter(Uint32 ms) { PushLater(ms, {CloseBox()}, &gaveUp); }

  std::unique_ptr<ImGuiForms> forms;
  std::list<Later> later;
  std::vector<SDL_TimerID> timers;
  std::atomic<bool> gaveUp{false};
};

// The rightmost inked column of the window's rows top..top+height as the X server shows them, -1 if none.
int InkRight(SDL_Window* window, int top, int height) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return -1;
  Display* display = info.info.x11.display;
  XSync(display, False);
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  XImage* image = XGetImage(display, info.info.x11.window, 0, top, static_cast<unsigned>(w),
                            static_cast<unsigned>(std::min(height, h - top)), AllPlanes, ZPixmap);
  if (!image) return -1;
  int right = -1;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x)
      if ((XGetPixel(image, x, y) & 0xFF) < 128) right = std::max(right, x);
  XDestroyImage(image);
  return right;
}

// Fonts have their size in pixels per em at 96 dpi: Courier New 14.25 pt bold is 19 px per em, where
// Liberation Mono Bold's characters advance 11 px; Times New Roman 24 pt bold is 32 px per em, where
// Liberation Serif Bold's M advances 30 px. Four more of a character move the ink four advances right.
TEST_F(ImGuiFormsTest, FontsAreSizedInPixelsPerEm) {
  constexpr FontSpec Mono{FontSpec::Face::Mono, 14.25f};
  constexpr FontSpec Serif{FontSpec::Face::Serif, 24.0f};
  Form form = MakeForm(400, 170);
  form.controls = {MakeControl(ControlKind::Label, 10, 0, 380, 30, "H", Mono),
                   MakeControl(ControlKind::Label, 10, 30, 380, 30, "HHHHH", Mono),
                   MakeControl(ControlKind::Label, 10, 60, 380, 50, "M", Serif),
                   MakeControl(ControlKind::Label, 10, 110, 380, 50, "MMMMM", Serif)};
  FormSink sink;
  sink.form = &form;
  for (int i = 0; i < 3; ++i) forms->DoEvents(form, sink);
  int mono1 = InkRight(window->Handle(), 0, 30), mono5 = InkRight(window->Handle(), 30, 30);
  int serif1 = InkRight(window->Handle(), 60, 50), serif5 = InkRight(window->Handle(), 110, 50);
  ASSERT_GT(mono1, 10);
  ASSERT_GT(serif1, 10);
  EXPECT_EQ(mono5 - mono1, 4 * 11) << "ink ends at " << mono1 << " and " << mono5;
  EXPECT_EQ(serif5 - serif1, 4 * 30) << "ink ends at " << serif1 << " and " << serif5;
}

// The colour (0xRRGGBB) of a pixel of the window as the X server shows it.
unsigned long PixelAt(SDL_Window* window, int x, int y) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  XSync(info.info.x11.display, False);
  XImage* image = XGetImage(info.info.x11.display, info.info.x11.window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0;
  unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

// The menu's list box (68 px high, 14.25 pt) shows all three difficulties at their true size: the
// last one selected is drawn, navy, inside the box.
TEST_F(ImGuiFormsTest, TheMenusListShowsItsThreeItems) {
  Form form = MakeForm(200, 100);
  form.controls = {MakeControl(ControlKind::ListBox, 10, 10, 90, 68, "")};
  form.controls[0].items = {"Novice", "Average", "Master!"};
  form.controls[0].listIndex = 2;
  FormSink sink;
  sink.form = &form;
  for (int i = 0; i < 3; ++i) forms->DoEvents(form, sink);
  int navy = 0, lowest = 0;
  for (int y = 10; y < 10 + 68; ++y)
    if (PixelAt(window->Handle(), 95, y) == 0x000080) {  // right of the text
      ++navy;
      lowest = y;
    }
  EXPECT_GT(navy, 15) << "Master! is not drawn";
  EXPECT_LT(lowest, 10 + 68 - 1) << "Master! runs over the box's border";
}

// When a form opens, its focused control has the keyboard: typing goes into the focused box at once,
// and with no control focused the first in the tab order takes the focus.
TEST_F(ImGuiFormsTest, TheFocusedBoxTakesTypingWhenTheFormOpens) {
  for (int given : {-1, 1}) {
    Form form = MakeForm(300, 100);
    form.controls = {MakeControl(ControlKind::Label, 0, 0, 300, 10, ""),  // a plain label: no tab stop
                     MakeControl(ControlKind::TextBox, 10, 20, 120, 22, ""),
                     MakeControl(ControlKind::TextBox, 10, 60, 120, 22, "")};
    form.controls[1].maxLength = form.controls[2].maxLength = 8;
    form.focus = given;
    FormSink sink;
    sink.form = &form;
    PushLater(400, {Text("q")});
    PushLater(800, {CloseBox()});
    forms->ShowModal(form, sink);
    EXPECT_EQ(form.focus, 1) << "focus given " << given;
    EXPECT_EQ(form.controls[1].text, "q") << "focus given " << given;
    EXPECT_EQ(form.controls[2].text, "");
  }
}

// Typed text reads by the game's UTF-8 rule, not ImGui's (which takes C0 80 for one character): each
// invalid subpart is one U+FFFD and one character of the box's length.
TEST_F(ImGuiFormsTest, TypedBytesAreReadByTheGamesUtf8Rule) {
  Form form = MakeForm(300, 100);
  form.controls = {MakeControl(ControlKind::TextBox, 10, 20, 120, 22, "")};
  form.controls[0].maxLength = 2;
  form.focus = 0;
  FormSink sink;
  sink.form = &form;
  PushLater(400, {Text("\xC0\x80"), Text("\xD0\x96")});
  PushLater(800, {CloseBox()});
  forms->ShowModal(form, sink);
  EXPECT_EQ(form.controls[0].text, "\xEF\xBF\xBD\xEF\xBF\xBD");  // and the Ж finds the box full
}

// A paste reads by the same rule: Ctrl+V with invalid bytes on the clipboard.
TEST_F(ImGuiFormsTest, PastedBytesAreReadByTheGamesUtf8Rule) {
  ASSERT_EQ(SDL_SetClipboardText("\xC0\x80\xD0\x96"), 0) << SDL_GetError();
  Form form = MakeForm(300, 100);
  form.controls = {MakeControl(ControlKind::TextBox, 10, 20, 120, 22, "")};
  form.controls[0].maxLength = 2;
  form.focus = 0;
  FormSink sink;
  sink.form = &form;
  // ImGui 1.86 reads Ctrl from SDL's key state, later ones from the event.
  SDL_Event down = Key(SDL_KEYDOWN, SDLK_v, SDL_SCANCODE_V), up = Key(SDL_KEYUP, SDLK_v, SDL_SCANCODE_V);
  down.key.keysym.mod = up.key.keysym.mod = KMOD_LCTRL;
  SDL_SetModState(KMOD_LCTRL);
  PushLater(400, {down, up});
  PushLater(800, {CloseBox()});
  forms->ShowModal(form, sink);
  SDL_SetModState(KMOD_NONE);
  EXPECT_EQ(form.controls[0].text, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

// A press and release that fall within one frame still count: Tab moves the focus, Space presses.
TEST_F(ImGuiFormsTest, KeysPressedAndReleasedWithinOneFrameAreNotLost) {
  Form form = MakeForm(300, 100);
  form.controls = {MakeControl(ControlKind::Button, 10, 10, 80, 25, "A"),
                   MakeControl(ControlKind::Button, 100, 10, 80, 25, "B"),
                   MakeControl(ControlKind::Button, 190, 10, 80, 25, "C")};
  form.focus = 0;
  FormSink sink;
  sink.form = &form;
  // Queued before the form opens, so that the first frame finds all of them waiting.
  for (const SDL_Event& e :
       {Key(SDL_KEYDOWN, SDLK_TAB, SDL_SCANCODE_TAB), Key(SDL_KEYUP, SDLK_TAB, SDL_SCANCODE_TAB),
        Key(SDL_KEYDOWN, SDLK_TAB, SDL_SCANCODE_TAB), Key(SDL_KEYUP, SDLK_TAB, SDL_SCANCODE_TAB),
        Key(SDL_KEYDOWN, SDLK_SPACE, SDL_SCANCODE_SPACE), Key(SDL_KEYUP, SDLK_SPACE, SDL_SCANCODE_SPACE)}) {
    SDL_Event copy = e;
    SDL_PushEvent(&copy);
  }
  CloseAfter(3000);
  forms->ShowModal(form, sink);
  EXPECT_EQ(sink.events, std::vector<std::string>{"click 2"});
  EXPECT_FALSE(gaveUp);
}

// SIGTERM and SIGINT end the program like closing each window: the notice shown closes, and so does
// the menu after it, at once, instead of waiting for the player.
TEST_F(ImGuiFormsTest, AStopSignalClosesTheFormShownAndEveryFormAfterIt) {
  struct sigaction current {};
  ASSERT_EQ(sigaction(SIGTERM, nullptr, &current), 0);
  ASSERT_NE(current.sa_handler, SIG_DFL) << "SDL turns SIGTERM into a quit event";
  Form notice = MakeForm(200, 100);
  notice.controls = {MakeControl(ControlKind::Button, 10, 10, 30, 20, "X")};
  Form menu = MakeForm(300, 100);
  menu.controls = {MakeControl(ControlKind::TextBox, 10, 10, 120, 22, "")};
  FormSink noticeSink, menuSink;
  noticeSink.form = &notice;
  menuSink.form = &menu;
  std::raise(SIGTERM);
  CloseAfter(3000);
  forms->ShowModal(notice, noticeSink);
  forms->ShowModal(menu, menuSink);
  EXPECT_EQ(noticeSink.events, std::vector<std::string>{"close"});
  EXPECT_EQ(menuSink.events, std::vector<std::string>{"close"});
  EXPECT_FALSE(gaveUp) << "the menu waited for its close box";
}

// Between "Play" and the run loop the window's close box is not lost: DoEvents delivers it (and no click).
TEST_F(ImGuiFormsTest, DoEventsDeliversTheCloseBox) {
  Form form = MakeForm(300, 100);
  form.controls = {MakeControl(ControlKind::Button, 10, 10, 80, 25, "A")};
  form.focus = 0;
  FormSink sink;
  sink.form = &form;
  forms->DoEvents(form, sink);
  EXPECT_TRUE(sink.events.empty());
  for (SDL_Event e : {Key(SDL_KEYDOWN, SDLK_SPACE, SDL_SCANCODE_SPACE), CloseBox()}) SDL_PushEvent(&e);
  forms->DoEvents(form, sink);
  EXPECT_EQ(sink.events, std::vector<std::string>{"close"});
}

// Closing the notice window (the last one SDL knows of) must not look like a request to end the program.
TEST_F(SdlWindowTest, ClosingTheLastWindowIsNotAQuit) {
  const char* quit = SDL_GetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE);
  EXPECT_STREQ(quit ? quit : "(unset)", "0");
}

}  // namespace
