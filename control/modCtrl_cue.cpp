// Ball selection, the cue and the stroke. A human drives the cue with the mouse; the computer
// drives the same cue from a countdown.
#include <cmath>

#include "ai/modAI.h"
#include "control/modCtrl.h"
#include "control/modCtrl_cue.h"
#include "physics/modPhys.h"
#include "sound/modDS.h"

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

namespace {

// The squared distance within which one key press reaches a ball.
constexpr float SelectionReachSq = 5.0f;
// ComputerDelay value at which the computer decides its shot; it pushes below 0.
constexpr std::int32_t ComputerChooseAt = 800;

// Both keys of a pair are consumed together.
bool TakeKeyPair(int a, int b) {
  if (!KeyState(a) && !KeyState(b)) return false;
  KeyState(a) = false;
  KeyState(b) = false;
  return true;
}

void SearchInDirection(std::int32_t forward, std::int32_t side) {
  float f = static_cast<float>(forward), s = static_cast<float>(side);
  Vector3 d{AimSin * f + AimCos * s, 0.0f, AimCos * f - AimSin * s};
  float best = SelectionReachSq;
  std::int32_t candidate = -1;
  for (std::int32_t i = 0; i < BallCount; ++i) {
    if (Balls[i].Status != BallOnTable) continue;
    float ex = Balls[i].Position.x - AimPoint.x;
    float ez = Balls[i].Position.z - AimPoint.z;
    float along = ex * d.x + ez * d.z;
    float across = ez * d.x - d.z * ex;
    // Strictly inside the 45-degree wedge around d, which also excludes the ball at AimPoint.
    if (!(std::fabs(across) < along)) continue;
    float distanceSq = along * along + across * across;
    if (distanceSq < best) {
      best = distanceSq;
      candidate = i;
    }
  }
  if (candidate >= 0) SelectedBall = candidate;
}

void RepairSelection() {
  if (Balls[SelectedBall].Status == BallOnTable) return;
  for (std::int32_t i = 0; i < BallCount; ++i) {
    if (Balls[i].Status == BallOnTable) {
      SelectedBall = i;
      return;
    }
  }
}

}  // namespace

void SelectBall(std::int32_t forward, std::int32_t side) {
  if ((forward != 0 || side != 0) && !OpeningStroke && BallsAtRest) {
    SearchInDirection(forward, side);
  } else {
    RepairSelection();
  }
  if (!IsComputer[CurrentPlayer] && BallsAtRest) AimPoint = Balls[SelectedBall].Position;
}

void Strike(float power) {
  PlayStroke(power);
  float s = power * -0.005f;
  Vector3 velocity;
  if (IsComputer[CurrentPlayer]) {
    velocity = {-s * ComputerShot.x, 0.0f, -s * ComputerShot.z};
  } else {
    velocity = {s * AimSin, 0.0f, s * AimCos};  // away from the camera
  }
  Balls[SelectedBall].Velocity = velocity;
  AimPoint = {0.0f, 0.0f, 0.0f};  // the camera drifts to the table centre while the balls move
  BallsAtRest = false;
  OpeningStroke = false;
}

// -0.5 is the fixed point: the cue returns to rest with a time constant of about 100 steps.
void CueRelax() { CueTarget = CueTarget * 0.99f - 0.005f; }

void CuePush(float dy) {
  if (!BallsAtRest) return;
  CueTarget += dy;
  if (!(CueTarget >= -1.0f)) CueTarget = -1.0f;
}

void CueFollowAndStrike() {
  CuePosition = CueTarget * 0.02f + CuePosition * 0.98f;
  if (!(CuePosition >= -1.0f)) CuePosition = -1.0f;
  if (CuePosition > 0.0f) {
    // A human's power is the lag of the smoothed cue behind the commanded one: the push's speed.
    float power = IsComputer[CurrentPlayer] ? ComputerShot.y * 0.25f : CueTarget - CuePosition;
    Strike(power);
    CuePosition = 0.0f;
    CueTarget = -0.5f;
  }
}

void SelectionKeys() {
  if (TakeKeyPair(87, 38)) {         // W, Up
    SelectBall(-1, 0);
  } else if (TakeKeyPair(83, 40)) {  // S, Down
    SelectBall(1, 0);
  } else if (TakeKeyPair(65, 37)) {  // A, Left
    SelectBall(0, 1);
  } else if (TakeKeyPair(68, 39)) {  // D, Right
    SelectBall(0, -1);
  }
}

void ComputerTiming() {
  if (!BallsAtRest) return;
  --ComputerDelay;
  if (ComputerDelay == ComputerChooseAt) {
    ChooseComputerShot();
    // The cue's rear point: 1.9872 behind the ball against the direction of travel, 0.414 above it.
    const Vector3& p = Balls[SelectedBall].Position;
    ComputerCueEye = {static_cast<float>(p.x + ComputerShot.x * 2.07 * -0.96), 0.414f,
                      static_cast<float>(p.z + ComputerShot.z * 2.07 * -0.96)};
  } else if (ComputerDelay < 0) {
    CueTarget += ComputerShot.y * 0.0008f;
  }
}

void UpdateCueMatrix() {
  Vector3 eye, target;
  if (IsComputer[CurrentPlayer]) {
    if (BallsAtRest) ComputerCueTarget = Balls[SelectedBall].Position;
    eye = ComputerCueEye;
    target = ComputerCueTarget;
  } else {
    // The camera's orbit point at half its elevation.
    CueEye = {LookPoint.x + 2.0f * AimSin * CueElevCos, 2.0f * CueElevSin, LookPoint.z + 2.0f * AimCos * CueElevCos};
    eye = CueEye;
    target = LookPoint;
  }
  // The inverse maps the cue's frame to the world: origin at the rear point, +z towards the ball.
  static KeptResult<6, Matrix4> frame;
  const Matrix4& m = frame.Of({eye.x, eye.y, eye.z, target.x, target.y, target.z}, [&](Matrix4& out) {
    MatrixLookAt(out, eye, target, Vector3{0.0f, 1.0f, 0.0f});
    float determinant;
    MatrixInverse(out, determinant, out);
  });
  Matrix4 slide;
  MatrixTranslation(slide, 0.0f, 0.0f, CuePosition + 2.0f - 0.0325f);
  MatrixMultiply(CueMatrix, slide, m);
}

}  // namespace kuvo
