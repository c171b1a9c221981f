// Window service: the game's one window, its message pump and the cursor.
// Events are delivered only inside PumpMessages, on the one game thread, to the sink passed in.
// Key codes are Windows virtual-key codes (Esc 27, F5 116, ...); buttons 1 left, 2 right, 3 middle.
#pragma once

namespace kuvo {

class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void KeyDown(int virtualKey) = 0;
  virtual void MouseDown(int button) = 0;
  virtual void MouseUp(int button) = 0;
  // Focus gained (true) or lost (false): the window's activation.
  virtual void Activate(bool active) = 0;
  // The close box: the game treats it like Esc.
  virtual void Close() = 0;
  // The client area's new size in pixels, after a resize by the user, a window manager or Maximise.
  virtual void Resize(int /*clientWidth*/, int /*clientHeight*/) {}
};

struct ScreenRect {
  int left, top, width, height;
};

class Window {
 public:
  virtual ~Window() = default;
  // Dispatches every pending event to `sink` and returns without waiting.
  virtual void PumpMessages(WindowEvents& sink) = 0;
  virtual void ShowCursor(bool show) = 0;
  virtual ScreenRect OuterRect() = 0;  // screen pixels
  virtual int ClientWidth() = 0;
  virtual int ClientHeight() = 0;
  virtual void GetCursorPos(int& x, int& y) = 0;
  virtual void SetCursorPos(int x, int y) = 0;
  // Fills the display's usable area, whether or not a window manager acts on the request; the new
  // size reaches the sink as Resize at the next pump.
  virtual void Maximise() = 0;
};

}  // namespace kuvo
