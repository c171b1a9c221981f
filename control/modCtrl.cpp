// Input and camera.
#include "control/modCtrl.h"

namespace kuvo {

bool KeyStateStore[259];
std::int32_t CursorHomeX, CursorHomeY;
float MouseScaleX = 0.003f, MouseScaleY = -0.003f;
std::int32_t PitchSign = -1;
float AspectRatio = 1.0f;
float FieldOfView = 1.0f;
float CameraYaw = 0.0f;
float CameraPitch = 0.3f;
float AimSin, AimCos, PitchSin, PitchCos;
float CueElevation, CueElevSin, CueElevCos;
Vector3 AimPoint, LookPoint, CameraEye;
Matrix4 ViewMatrix, ProjectionMatrix;

void InitControl() {}
void ReadMouse(float& dx, float& dy) { dx = dy = 0.0f; }
void UpdateControl() {}
void UpdateCamera() {}

}  // namespace kuvo
