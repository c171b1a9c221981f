// A window without a screen: a test queues events, or installs a per-pass script,
// and they are delivered at the next PumpMessages, as a real message pump would.
#pragma once
#include <deque>
#include <functional>

#include "platform/Window.h"

namespace kuvo {

class ScriptedWindow : public Window {
 public:
  // Called once at the top of every PumpMessages, before queued events are delivered,
  // with the number of the pump (0 for the first).
  std::function<void(long pass, ScriptedWindow& window)> script;

  void PressKey(int virtualKey);
  void PressButton(int button);
  void ReleaseButton(int button);
  void SetActive(bool active);
  void RequestClose();
  void MoveMouse(int dx, int dy);

  bool CursorVisible() const { return cursorVisible_; }
  long Pumps() const { return pumps_; }
  void SetGeometry(ScreenRect outer, int clientWidth, int clientHeight);

  void PumpMessages(WindowEvents& sink) override;
  void ShowCursor(bool show) override { cursorVisible_ = show; }
  ScreenRect OuterRect() override { return outer_; }
  int ClientWidth() override { return clientWidth_; }
  int ClientHeight() override { return clientHeight_; }
  void GetCursorPos(int& x, int& y) override;
  void SetCursorPos(int x, int y) override;
  // Takes the geometry given by SetMaximisedGeometry and reports it as Resize at the next pump.
  void Maximise() override;
  void SetMaximisedGeometry(ScreenRect outer, int clientWidth, int clientHeight);
  bool Maximised() const { return maximised_; }

 private:
  enum class Kind { KeyDown, MouseDown, MouseUp, Activate, Close, Resize };
  struct Event {
    Kind kind;
    int value;
  };
  std::deque<Event> queue_;
  long pumps_ = 0;
  bool cursorVisible_ = true;
  ScreenRect outer_{0, 0, 1920, 1080};
  int clientWidth_ = 1920;
  int clientHeight_ = 1080;
  int cursorX_ = 0;
  int cursorY_ = 0;
  bool maximised_ = false;
  ScreenRect maximisedOuter_{0, 0, 1920, 1080};
  int maximisedWidth_ = 1920;
  int maximisedHeight_ = 1080;
};

}  // namespace kuvo
