// Event handlers of the main window.
#include "app/Form1.h"

#include "app/modMain.h"
#include "control/modCtrl.h"

namespace kuvo {

static int ButtonIndex(int button) {
  // Left -1, right -2; the middle and any further button -3.
  return button == 1 ? -1 : button == 2 ? -2 : -3;
}

void Form1Events::KeyDown(int virtualKey) {
  if (virtualKey >= 0 && virtualKey <= 255) KeyState(virtualKey) = true;
}

void Form1Events::MouseDown(int button) { KeyState(ButtonIndex(button)) = true; }

void Form1Events::MouseUp(int button) { KeyState(ButtonIndex(button)) = false; }

void Form1Events::Activate(bool active) { SubclassWndProc(active); }

// The close box acts like Esc: the current pass completes, then the game shuts down in order.
void Form1Events::Close() { KeyState(27) = true; }

void Form_Unload() {}

}  // namespace kuvo
