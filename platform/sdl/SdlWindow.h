// The game's one window on SDL2: events as Windows virtual-key codes and buttons, the cursor in screen
// pixels, and maximising that works with or without a window manager. The OpenGL device draws into it.
#pragma once
#include <string>

#include "platform/Window.h"

struct SDL_Window;
union SDL_Event;

namespace kuvo {

class SdlWindow : public Window {
 public:
  // Opens a shown, resizable OpenGL-capable window with the given client area, centred on the display.
  // Throws std::runtime_error with SDL's reason when no display or window can be had.
  SdlWindow(const std::string& title, int clientWidth, int clientHeight);
  ~SdlWindow() override;
  SdlWindow(const SdlWindow&) = delete;
  SdlWindow& operator=(const SdlWindow&) = delete;

  void PumpMessages(WindowEvents& sink) override;
  // Hidden, the pointer is captured and reports motion only (relative mode, in screen pixels as the
  // desktop moves the pointer): the game's cursor is a virtual point that moves by that motion and that
  // SetCursorPos puts back without warping anything.
  void ShowCursor(bool show) override;
  ScreenRect OuterRect() override;
  int ClientWidth() override;
  int ClientHeight() override;
  void GetCursorPos(int& x, int& y) override;
  void SetCursorPos(int x, int y) override;
  void Maximise() override;

  SDL_Window* Handle() const { return window_; }
  // Delivers one SDL event to `sink` as the game's events; false if it was not for this window.
  bool Translate(const SDL_Event& event, WindowEvents& sink);

 private:
  void CaptureMotion();

  SDL_Window* window_ = nullptr;
  bool hidden_ = false;
  bool relative_ = false;
  int cursorX_ = 0, cursorY_ = 0;  // the virtual cursor while relative
};

// The Windows virtual-key code of an SDL key (its symbol, its place on the keyboard and the modifier
// state), 0 for keys the game has no code for. Any keyboard layout gives W, A, S, D and I.
int VirtualKeyOf(int sdlKeycode, int sdlScancode, int sdlModifiers);

}  // namespace kuvo
