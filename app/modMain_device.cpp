// The rendering device, the order of one frame, and window activation.
#include "app/modMain.h"

namespace kuvo {

GfxDevice* Device = nullptr;

void CreateDevice3D() {}
void RenderFrame() {}
void ReleaseDevice3D() {}

void SubclassWndProc(bool active) { Paused = !active; }

}  // namespace kuvo
