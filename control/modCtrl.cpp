// Input and camera: the held-key table, relative mouse motion, and the camera orbiting the
// ball about to be struck. UpdateControl runs once per 1 ms step and also drives the cue.
#include <cmath>
#include <cstdint>

#include "app/modMain.h"
#include "control/modCtrl.h"
#include "control/modCtrl_cue.h"
#include "physics/modPhys.h"
#include "platform/Platform.h"
#include "platform/Window.h"

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

namespace {

constexpr int KeyEscape = 27, KeyF5 = 116, KeyI = 73;
constexpr int LeftButton = -1, RightButton = -2;

void Zoom(float dy) {
  FieldOfView += dy;
  if (!(FieldOfView <= 1.5f)) {
    FieldOfView = 1.5f;
  } else if (FieldOfView < 0.1f) {
    FieldOfView = 0.1f;
  }
}

// sin and cos in double, rounded to float. The camera turns every step but mostly by nothing, so each
// angle keeps its last pair: the same bits give the same pair, without the library calls.
class SinCos {
 public:
  void Of(float angle, float& outSin, float& outCos) {
    const Pair& pair = kept_.Of({angle}, [angle](Pair& out) {
      out = {static_cast<float>(std::sin(static_cast<double>(angle))),
             static_cast<float>(std::cos(static_cast<double>(angle)))};
    });
    outSin = pair.sin;
    outCos = pair.cos;
  }

 private:
  struct Pair {
    float sin, cos;
  };
  KeptResult<1, Pair> kept_;
};

SinCos YawTerms, PitchTerms, ElevationTerms;

void TurnCamera(float dx, float dy) {
  CameraYaw += dx;
  CameraPitch += dy * static_cast<float>(PitchSign);
  if (CameraPitch > 1.0f) {
    CameraPitch = 1.0f;
  } else if (CameraPitch < 0.15f) {
    CameraPitch = 0.15f;
  }
  CueElevation = CameraPitch * 0.5f;
  YawTerms.Of(CameraYaw, AimSin, AimCos);
  PitchTerms.Of(CameraPitch, PitchSin, PitchCos);
  ElevationTerms.Of(CueElevation, CueElevSin, CueElevCos);
}

}  // namespace

void InitControl() {
  for (bool& key : KeyStateStore) key = false;
  PitchSign = -1;
  ScreenRect outer = Host.window->OuterRect();
  CursorHomeX = static_cast<std::int32_t>(std::nearbyint(outer.left + outer.width / 2.0));
  CursorHomeY = static_cast<std::int32_t>(std::nearbyint(outer.top + outer.height / 2.0));
  Host.window->SetCursorPos(CursorHomeX, CursorHomeY);
  AspectRatio = static_cast<float>(Host.window->ClientWidth()) / static_cast<float>(Host.window->ClientHeight());
  FieldOfView = 1.0f;
  MouseScaleX = 0.003f;
  MouseScaleY = -0.003f;
  CameraYaw = 0.0f;
  CameraPitch = 0.3f;
  AimPoint = Balls[SelectedBall].Position;
  ComputerShot = {0.01f, 0.0f, 0.0f};
}

void ReadMouse(float& dx, float& dy) {
  int x, y;
  Host.window->GetCursorPos(x, y);
  // Sensitivity scales with the field of view: zoomed in, the mouse turns the camera more slowly.
  dx = MouseScaleX * static_cast<float>(x - CursorHomeX) * FieldOfView;
  dy = MouseScaleY * static_cast<float>(y - CursorHomeY) * FieldOfView;
  Host.window->SetCursorPos(CursorHomeX, CursorHomeY);
}

void UpdateControl() {
  if (KeyState(KeyEscape)) Running = false;
  if (KeyState(KeyF5)) {
    RackBalls();
    KeyState(KeyF5) = false;
  }
  if (KeyState(KeyI)) {
    PitchSign = -PitchSign;
    KeyState(KeyI) = false;
  }
  float dx, dy;
  ReadMouse(dx, dy);
  bool computer = IsComputer[CurrentPlayer];
  if (KeyState(RightButton)) {
    Zoom(dy);
  } else if (computer || !KeyState(LeftButton)) {
    if (!computer) CueRelax();
    TurnCamera(dx, dy);
  } else {
    CuePush(dy);
  }
  CueFollowAndStrike();
  if (!computer) {
    SelectionKeys();
  } else {
    ComputerTiming();
  }
}

void UpdateCamera() {
  // Per frame, not per step: the glide's speed follows the frame rate.
  float k = BallsAtRest ? 0.05f : 0.01f;
  VecLerp(LookPoint, LookPoint, AimPoint, k);
  static KeptResult<2, Matrix4> projection;
  ProjectionMatrix = projection.Of({FieldOfView, AspectRatio}, [](Matrix4& out) {
    MatrixPerspectiveFov(out, FieldOfView, AspectRatio, 0.01f, 16.0f);
  });
  CameraEye = {LookPoint.x + 2.0f * AimSin * PitchCos, 2.0f * PitchSin, LookPoint.z + 2.0f * AimCos * PitchCos};
  // The camera looks below the plane of the ball centres, the lower the wider the view.
  const Vector3 target{LookPoint.x, -0.3f * FieldOfView, LookPoint.z};
  static KeptResult<6, Matrix4> view;
  ViewMatrix = view.Of({CameraEye.x, CameraEye.y, CameraEye.z, target.x, target.y, target.z}, [&](Matrix4& out) {
    MatrixLookAt(out, CameraEye, target, Vector3{0.0f, 1.0f, 0.0f});
  });
  UpdateCueMatrix();
}

}  // namespace kuvo
