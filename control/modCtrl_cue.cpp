// Ball selection, the cue and the stroke.
#include "control/modCtrl.h"

namespace kuvo {

std::int32_t SelectedBall = 15;
bool BallsAtRest = true;
bool OpeningStroke = true;
float CueTarget = -0.5f;
float CuePosition = -0.5f;
Vector3 ComputerShot = {0.01f, 0.0f, 0.0f};
std::int32_t ComputerDelay = 2000;
Vector3 ComputerCueEye = {2.0f, 0.2f, 0.0f};
Vector3 ComputerCueTarget, CueEye;
Matrix4 CueMatrix;

void SelectBall(std::int32_t, std::int32_t) {}
void Strike(float) {}

}  // namespace kuvo
