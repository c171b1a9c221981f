// Event queue and cursor of the scripted window.
#include "platform/testing/ScriptedWindow.h"

namespace kuvo {

void ScriptedWindow::PressKey(int virtualKey) { queue_.push_back({Kind::KeyDown, virtualKey}); }
void ScriptedWindow::PressButton(int button) { queue_.push_back({Kind::MouseDown, button}); }
void ScriptedWindow::ReleaseButton(int button) { queue_.push_back({Kind::MouseUp, button}); }
void ScriptedWindow::SetActive(bool active) { queue_.push_back({Kind::Activate, active ? 1 : 0}); }
void ScriptedWindow::RequestClose() { queue_.push_back({Kind::Close, 0}); }

void ScriptedWindow::MoveMouse(int dx, int dy) {
  cursorX_ += dx;
  cursorY_ += dy;
}

void ScriptedWindow::SetGeometry(ScreenRect outer, int clientWidth, int clientHeight) {
  outer_ = outer;
  clientWidth_ = clientWidth;
  clientHeight_ = clientHeight;
}

void ScriptedWindow::PumpMessages(WindowEvents& sink) {
  if (script) script(pumps_, *this);
  ++pumps_;
  while (!queue_.empty()) {
    Event e = queue_.front();
    queue_.pop_front();
    switch (e.kind) {
      case Kind::KeyDown: sink.KeyDown(e.value); break;
      case Kind::MouseDown: sink.MouseDown(e.value); break;
      case Kind::MouseUp: sink.MouseUp(e.value); break;
      case Kind::Activate: sink.Activate(e.value != 0); break;
      case Kind::Close: sink.Close(); break;
      case Kind::Resize: sink.Resize(clientWidth_, clientHeight_); break;
    }
  }
}

void ScriptedWindow::SetMaximisedGeometry(ScreenRect outer, int clientWidth, int clientHeight) {
  maximisedOuter_ = outer;
  maximisedWidth_ = clientWidth;
  maximisedHeight_ = clientHeight;
}

void ScriptedWindow::Maximise() {
  maximised_ = true;
  SetGeometry(maximisedOuter_, maximisedWidth_, maximisedHeight_);
  queue_.push_back({Kind::Resize, 0});
}

void ScriptedWindow::GetCursorPos(int& x, int& y) {
  x = cursorX_;
  y = cursorY_;
}

void ScriptedWindow::SetCursorPos(int x, int y) {
  cursorX_ = x;
  cursorY_ = y;
}

}  // namespace kuvo
