// The fixed 1 ms physics step: sliding turns into rolling, rolling resistance, cushions,
// pocket entry and elastic collisions between equal balls.
#include "physics/modPhys.h"

#include "control/modCtrl.h"
#include "sound/modDS.h"

namespace kuvo {

BallState Balls[BallCount];

namespace {

constexpr float RollCoupling = 0.03f;      // RollVelocity moves this share of the slip towards Velocity
constexpr float SlideFriction = 0.003f;    // Velocity moves this share of the slip towards RollVelocity
constexpr double RollResistance = 7.5e-8;  // speed lost per step; slower balls stop
constexpr float StopSpeed = 7.5e-8f;
constexpr float CushionRestitution = 1.5f;  // the normal component is reversed and halved
constexpr float ContactDistanceSq = 0.004225f;  // ball diameter 0.065, squared
constexpr float PlayingAreaDiagonal = 1.43f;    // |x| + |z| limit: corners cut 0.014 inside the jaws

bool InPlayingArea(const Vector3& p) {
  return p.x + p.z <= PlayingAreaDiagonal && p.x - p.z <= PlayingAreaDiagonal &&
         -p.x + p.z <= PlayingAreaDiagonal && -p.x - p.z <= PlayingAreaDiagonal && p.z >= -0.5f && p.z <= 0.5f;
}

// Moves ball i on the cloth by one step. Returns true while the ball is moving or has started to drop.
bool MoveBallOnTable(int i) {
  BallState& b = Balls[i];
  VecAdd(b.Position, b.Position, b.Velocity);
  Vector3 slip, share;
  VecSubtract(slip, b.Velocity, b.RollVelocity);
  VecScale(share, slip, RollCoupling);
  VecAdd(b.RollVelocity, b.RollVelocity, share);
  VecScale(share, slip, SlideFriction);
  VecSubtract(b.Velocity, b.Velocity, share);

  float speed = VecLength(b.Velocity);
  bool moving = false;
  if (speed <= StopSpeed) {
    b.Velocity = {0.0f, 0.0f, 0.0f};
  } else {
    moving = true;
    VecScale(b.Velocity, b.Velocity, static_cast<float>((speed - RollResistance) / speed));
    Vector3 n;
    if (FindCushionContact(b.Position, n)) {
      float vn = VecDot(n, b.Velocity);
      if (vn < 0.0f) {
        PlayThud(-150.0f * vn);
        VecScale(share, n, CushionRestitution * vn);
        VecSubtract(b.Velocity, b.Velocity, share);
      }
    }
  }

  if (InPlayingArea(b.Position)) {
    b.Position.y = 0.0f;
  } else {
    // The centre has passed a pocket mouth.
    PlayThud(100.0f * speed);
    b.Status = BallDropping;
    StepPocketDrop(i);
    moving = true;
  }
  return moving;
}

void CollideBalls() {
  for (int i = 0; i < BallCount - 1; ++i) {
    if (Balls[i].Status != BallOnTable) continue;
    for (int j = i + 1; j < BallCount; ++j) {
      if (Balls[j].Status != BallOnTable) continue;
      Vector3 d;
      VecSubtract(d, Balls[i].Position, Balls[j].Position);
      if (!(VecLengthSq(d) < ContactDistanceSq)) continue;
      Vector3 n, closing;
      VecNormalize(n, d);
      VecSubtract(closing, Balls[i].Velocity, Balls[j].Velocity);
      float s = VecDot(n, closing);
      if (s >= 0.0f) continue;  // already separating
      StrokeContact = true;
      PlayClick(-200.0f * s);
      // Equal masses, perfectly elastic: the normal components are exchanged.
      Vector3 impulse;
      VecScale(impulse, n, s);
      VecSubtract(Balls[i].Velocity, Balls[i].Velocity, impulse);
      VecAdd(Balls[j].Velocity, Balls[j].Velocity, impulse);
    }
  }
}

}  // namespace

void StepPhysics() {
  bool anyMotion = false;
  for (int i = 0; i < BallCount; ++i) {
    switch (Balls[i].Status) {
      case BallOnTable:
        if (MoveBallOnTable(i)) anyMotion = true;
        break;
      case BallDropping:
        StepPocketDrop(i);
        anyMotion = true;
        break;
      default:
        break;
    }
  }
  if (anyMotion) {
    CollideBalls();
  } else if (!BallsAtRest) {
    EndOfStroke();
  }
}

}  // namespace kuvo
