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

// The close box ends the run like Esc, also while the window is inactive: the current pass completes,
// then the game shuts down in order.
void Form1Events::Close() { CloseRequested = true; }

// The back buffer follows the client area, so the projection must follow its shape or the picture stretches.
// The projection is remade here too: the game-over branch draws without recomputing the camera.
void Form1Events::Resize(int clientWidth, int clientHeight) {
  if (clientWidth <= 0 || clientHeight <= 0) return;  // minimised
  AspectRatio = static_cast<float>(clientWidth) / static_cast<float>(clientHeight);
  MatrixPerspectiveFov(ProjectionMatrix, FieldOfView, AspectRatio, 0.01f, 16.0f);
}

void Form_Unload() {}

}  // namespace kuvo
