// SDL2 window backend: the message pump, key and button codes, the cursor and maximising.
#include "platform/sdl/SdlWindow.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <stdexcept>

#include "platform/sdl/SdlVideo.h"
#include "platform/sdl/X11Desktop.h"

namespace kuvo {

namespace {

// Windows virtual-key codes of the keys without a letter or digit.
struct KeyCode {
  SDL_Keycode sdl;
  int virtualKey;
};
constexpr KeyCode kKeys[] = {
    {SDLK_BACKSPACE, 8}, {SDLK_TAB, 9},      {SDLK_RETURN, 13},  {SDLK_KP_ENTER, 13}, {SDLK_LSHIFT, 16},
    {SDLK_RSHIFT, 16},   {SDLK_LCTRL, 17},   {SDLK_RCTRL, 17},   {SDLK_LALT, 18},     {SDLK_RALT, 18},
    {SDLK_PAUSE, 19},    {SDLK_ESCAPE, 27},  {SDLK_SPACE, 32},   {SDLK_PAGEUP, 33},   {SDLK_PAGEDOWN, 34},
    {SDLK_END, 35},      {SDLK_HOME, 36},    {SDLK_LEFT, 37},    {SDLK_UP, 38},       {SDLK_RIGHT, 39},
    {SDLK_DOWN, 40},     {SDLK_INSERT, 45},  {SDLK_DELETE, 46},  {SDLK_F1, 112},      {SDLK_F2, 113},
    {SDLK_F3, 114},      {SDLK_F4, 115},     {SDLK_F5, 116},     {SDLK_F6, 117},      {SDLK_F7, 118},
    {SDLK_F8, 119},      {SDLK_F9, 120},     {SDLK_F10, 121},    {SDLK_F11, 122},     {SDLK_F12, 123},
};

// SDL numbers the buttons left 1, middle 2, right 3; the game wants left 1, right 2, middle 3.
int GameButton(Uint8 sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    default: return 0;
  }
}

// How long to wait for a window manager to act on a maximise request.
constexpr Uint32 kWindowManagerGraceMs = 150;

int VirtualKeyOfSymbol(SDL_Keycode symbol, bool numLock) {
  // Letters are their capitals and digits their characters, as on the original keyboard layout.
  if (symbol >= SDLK_a && symbol <= SDLK_z) return 'A' + (symbol - SDLK_a);
  if (symbol >= SDLK_0 && symbol <= SDLK_9) return '0' + (symbol - SDLK_0);
  // The keypad's digits with NumLock on (VK_NUMPAD0..9); off, they are the keys printed under them.
  if (symbol >= SDLK_KP_1 && symbol <= SDLK_KP_9) {
    int digit = symbol - SDLK_KP_1 + 1;
    // Ins End Down PgDn Left Clear Right Home Up PgUp
    constexpr int Navigation[10] = {45, 35, 40, 34, 37, 12, 39, 36, 38, 33};
    return numLock ? 96 + digit : Navigation[digit];
  }
  if (symbol == SDLK_KP_0) return numLock ? 96 : 45;
  if (symbol == SDLK_KP_PERIOD) return numLock ? 110 : 46;
  for (const KeyCode& k : kKeys)
    if (k.sdl == symbol) return k.virtualKey;
  return 0;
}

// The code of the key in this place on a US keyboard: letters and the digit row.
int VirtualKeyOfPosition(SDL_Scancode position) {
  if (position >= SDL_SCANCODE_A && position <= SDL_SCANCODE_Z) return 'A' + (position - SDL_SCANCODE_A);
  if (position >= SDL_SCANCODE_1 && position <= SDL_SCANCODE_9) return '1' + (position - SDL_SCANCODE_1);
  if (position == SDL_SCANCODE_0) return '0';
  return 0;
}

// The letters among the keys the game reads: W, A, S, D select a ball and I inverts the camera.
bool GameReadsLetter(int virtualKey) {
  return virtualKey == 'W' || virtualKey == 'A' || virtualKey == 'S' || virtualKey == 'D' || virtualKey == 'I';
}

}  // namespace

// A letter the game reads counts as printed on the key (as Windows reports Latin layouts); any other key
// in the place of one counts by that place. So Cyrillic layouts get the US positions (as on Windows), and
// AZERTY's Z, Q in the places of W, A work beside its printed W and A. Other keys keep the printed symbol.
int VirtualKeyOf(int sdlKeycode, int sdlScancode, int sdlModifiers) {
  int bySymbol = VirtualKeyOfSymbol(sdlKeycode, (sdlModifiers & KMOD_NUM) != 0);
  if (GameReadsLetter(bySymbol)) return bySymbol;
  int byPosition = VirtualKeyOfPosition(static_cast<SDL_Scancode>(sdlScancode));
  return GameReadsLetter(byPosition) || bySymbol == 0 ? byPosition : bySymbol;
}

SdlWindow::SdlWindow(const std::string& title, int clientWidth, int clientHeight) {
  // Relative motion as the pointer moves on screen (the desktop's speed and acceleration), not raw counts.
  SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_MODE_WARP, "1");
  // Closing the notice, the one window SDL knows then, is no request to end the program; signals are.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  StartVideo();
  // The visual is fixed when the window is made: give it the device's D24S8 depth and stencil, so the
  // device can draw straight into the window's buffer when it does not multisample.
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
  // An alpha channel too, as the device's own framebuffer has; where no visual has one, the device draws
  // into its framebuffer instead.
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  constexpr Uint32 kFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, clientWidth, clientHeight,
                             kFlags);
  if (!window_) {
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, clientWidth,
                               clientHeight, kFlags);
  }
  if (!window_) {
    std::string reason = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    throw std::runtime_error("cannot open a window: " + reason);
  }
}

SdlWindow::~SdlWindow() {
  if (relative_) SDL_SetRelativeMouseMode(SDL_FALSE);
  SDL_DestroyWindow(window_);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool SdlWindow::Translate(const SDL_Event& e, WindowEvents& sink) {
  Uint32 id = SDL_GetWindowID(window_);
  switch (e.type) {
    case SDL_QUIT: sink.Close(); return true;
    case SDL_KEYDOWN:
      if (e.key.windowID != id) return false;
      if (int vk = VirtualKeyOf(e.key.keysym.sym, e.key.keysym.scancode, e.key.keysym.mod)) sink.KeyDown(vk);
      return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      if (e.button.windowID != id) return false;
      int button = GameButton(e.button.button);
      if (button == 0) return true;
      if (e.type == SDL_MOUSEBUTTONDOWN) sink.MouseDown(button);
      else sink.MouseUp(button);
      return true;
    }
    case SDL_MOUSEMOTION:
      if (e.motion.windowID != id) return false;
      if (relative_) {
        cursorX_ += e.motion.xrel;
        cursorY_ += e.motion.yrel;
      }
      return true;
    case SDL_WINDOWEVENT:
      if (e.window.windowID != id) return false;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          CaptureMotion();
          sink.Activate(true);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST: sink.Activate(false); break;
        case SDL_WINDOWEVENT_CLOSE: sink.Close(); break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: sink.Resize(e.window.data1, e.window.data2); break;
        default: break;
      }
      return true;
    default: return false;
  }
}

void SdlWindow::PumpMessages(WindowEvents& sink) {
  SDL_Event e;
  while (SDL_PollEvent(&e)) Translate(e, sink);
}

void SdlWindow::ShowCursor(bool show) {
  if (show == !hidden_) return;
  hidden_ = !show;
  if (hidden_) {
    SDL_GetGlobalMouseState(&cursorX_, &cursorY_);
    SDL_ShowCursor(SDL_DISABLE);
    CaptureMotion();
  } else {
    if (relative_) SDL_SetRelativeMouseMode(SDL_FALSE);
    relative_ = false;
    SDL_ShowCursor(SDL_ENABLE);
  }
}

// Relative mode hides the pointer and keeps reporting motion at the screen's edge. SDL refuses it to a
// window without the mouse's focus, so it is asked again whenever the window gains focus; until then the
// hidden pointer is read and warped back, as on the original platform.
void SdlWindow::CaptureMotion() {
  if (hidden_ && !relative_) relative_ = SDL_SetRelativeMouseMode(SDL_TRUE) == 0;
}

ScreenRect SdlWindow::OuterRect() {
  int x, y, w, h, top = 0, left = 0, bottom = 0, right = 0;
  SDL_GetWindowPosition(window_, &x, &y);
  SDL_GetWindowSize(window_, &w, &h);
  SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right);  // zero where no window manager frames it
  return {x - left, y - top, w + left + right, h + top + bottom};
}

int SdlWindow::ClientWidth() {
  int w, h;
  SDL_GetWindowSize(window_, &w, &h);
  return w;
}

int SdlWindow::ClientHeight() {
  int w, h;
  SDL_GetWindowSize(window_, &w, &h);
  return h;
}

void SdlWindow::GetCursorPos(int& x, int& y) {
  if (relative_) {
    x = cursorX_;
    y = cursorY_;
  } else {
    SDL_GetGlobalMouseState(&x, &y);
  }
}

void SdlWindow::SetCursorPos(int x, int y) {
  cursorX_ = x;
  cursorY_ = y;
  if (!relative_) SDL_WarpMouseGlobal(x, y);
}

// Elsewhere than X11 (Wayland) a compositor always manages the windows.
static bool WindowManagerRuns(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  return X11WindowManagerRuns(info.info.x11.display);
}

void SdlWindow::Maximise() {
  int w0, h0;
  SDL_GetWindowSize(window_, &w0, &h0);
  SDL_MaximizeWindow(window_);
  if (WindowManagerRuns(window_)) {
    // The manager answers with a new size; wait a moment for it, so the game starts with the right shape.
    Uint32 start = SDL_GetTicks();
    for (int w = w0, h = h0; w == w0 && h == h0 && SDL_GetTicks() - start < kWindowManagerGraceMs;) {
      SDL_Delay(5);
      SDL_PumpEvents();
      SDL_GetWindowSize(window_, &w, &h);
    }
    return;
  }
  // A bare X server (Xvfb) only sets the maximised flag: fill the usable area by hand.
  SDL_Rect usable;
  if (SDL_GetDisplayUsableBounds(SDL_GetWindowDisplayIndex(window_), &usable) != 0) return;
  SDL_SetWindowPosition(window_, usable.x, usable.y);
  SDL_SetWindowSize(window_, usable.w, usable.h);
}

}  // namespace kuvo
