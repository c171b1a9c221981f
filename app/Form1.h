// The main window's event handlers: keys and buttons into KeyState, activation into Paused.
#pragma once
#include "platform/Window.h"

namespace kuvo {

class Form1Events : public WindowEvents {
 public:
  void KeyDown(int virtualKey) override;
  void MouseDown(int button) override;
  void MouseUp(int button) override;
  void Activate(bool active) override;
  void Close() override;
  void Resize(int clientWidth, int clientHeight) override;
};

// The main window closes: the game is over for good.
void Form_Unload();

}  // namespace kuvo
