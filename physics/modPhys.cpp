// The fixed 1 ms physics step: sliding turns into rolling, rolling resistance, cushions,
// pocket entry and elastic collisions between equal balls.
#include "physics/modPhys.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "control/modCtrl.h"
#include "sound/modDS.h"

namespace kuvo {

BallState Balls[BallCount];

namespace {

// The balls as the last step left them, while LastLeftKnown. Whatever else writes a ball (the rack, a
// stroke, a test) makes its bytes differ, and what the step knows about that ball is dropped.
BallState LastLeft[BallCount];
bool LastLeftKnown = false;
std::uint32_t Written = 0;  // bit i: ball i written during this step, to be copied into LastLeft at its end
static_assert(sizeof(BallState) == 11 * 4, "compared as bytes: no padding");

// Bit i: a step from ball i's bytes in LastLeft changes nothing, so the step passes the ball by: a ball
// taken off the table, or one lying still that has settled (within seconds of a stroke, for good).
std::uint32_t Idle = 0;

// Between full looks at the pairs, each ball on the cloth may move up to its budget from where it was at
// the last look, measured as |dx| + |dz| (at least the straight distance): half its clearance from the
// nearest other ball, less a margin far above float rounding. While no ball is past its budget no two
// centres can be within a diameter of each other, so no pair touches and the look is skipped.
bool BudgetsHold = false;
double Budget[BallCount];
float LookX[BallCount], LookZ[BallCount];
constexpr double BudgetMargin = 1e-6;  // the distance test's float rounding is below 1e-8 at a diameter

constexpr float RollCoupling = 0.03f;      // RollVelocity moves this share of the slip towards Velocity
constexpr float SlideFriction = 0.003f;    // Velocity moves this share of the slip towards RollVelocity
constexpr double RollResistance = 7.5e-8;  // speed lost per step; slower balls stop
constexpr float StopSpeed = 7.5e-8f;
constexpr float CushionRestitution = 1.5f;  // the normal component is reversed and halved
constexpr float ContactDistanceSq = 0.004225f;  // ball diameter 0.065, squared
constexpr float PlayingAreaDiagonal = 1.43f;    // |x| + |z| limit: corners cut 0.014 inside the jaws

// A still ball whose roll is at most this cannot be set moving by friction in one step:
// 0.003 x roll stays far below the stop speed.
constexpr float StillRollLimit = 1e-5f;
// Below this the roll's decay would run through subnormal floats.
constexpr float TinyRoll = 0x1p-100f;

// Rounds x units of 2^-149 (the float grid below 2^-100) to the nearest float, halves to even.
double RoundToFloatGrid(double x) {
  if (x < 0x1p23) return (x + 0x1p52) - 0x1p52;  // subnormal range: whole units, halves to even
  return static_cast<double>(static_cast<float>(x * 0x1p-149)) * 0x1p149;
}

// r + 0.03 (v - r) for v = 0 and |r| < 2^-100, with the bits float arithmetic gives, worked out on
// the integer grid of 2^-149 instead: subnormal operands cost about a hundred cycles each on many
// processors, and the rolls of balls at rest decay into them within seconds and stay there.
float DecayTinyRoll(float r) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(r);
  if ((bits & 0x7FFFFFFFu) == 0) return 0.0f;  // the common roll about y: a zero of either sign gives +0
  const std::uint32_t exponent = (bits >> 23) & 0xFFu;
  const std::uint64_t mantissa = bits & 0x7FFFFFu;
  const double units = static_cast<double>(exponent == 0 ? mantissa : (mantissa | 0x800000u) << (exponent - 1));
  const double share = RoundToFloatGrid(static_cast<double>(RollCoupling) * units);  // exact product
  const double left = units - share;  // exact: both are whole units below 2^50
  if (left == 0.0) return 0.0f;
  const std::uint32_t sign = bits & 0x80000000u;
  if (left < 0x1p23) return std::bit_cast<float>(sign | static_cast<std::uint32_t>(left));
  const float magnitude = static_cast<float>(left * 0x1p-149);
  return sign ? -magnitude : magnitude;
}

float DecayStillRoll(float velocity, float roll) {
  if (std::fabs(roll) < TinyRoll) return DecayTinyRoll(roll);
  return roll + RollCoupling * (velocity - roll);
}

bool InPlayingArea(const Vector3& p) {
  return p.x + p.z <= PlayingAreaDiagonal && p.x - p.z <= PlayingAreaDiagonal &&
         -p.x + p.z <= PlayingAreaDiagonal && -p.x - p.z <= PlayingAreaDiagonal && p.z >= -0.5f && p.z <= 0.5f;
}

std::uint32_t Magnitude(float f) { return std::bit_cast<std::uint32_t>(f) & 0x7FFFFFFFu; }

// From 16 x 2^-149 down, 0.03 x roll rounds to nothing: such a roll stays where it is for good,
// but a zero of either sign becomes +0.
constexpr std::uint32_t SettledRollMagnitude = 16;
float SettledRoll(float roll) { return Magnitude(roll) == 0 ? 0.0f : roll; }

// The ball's fields were all just written one float at a time, so they are compared (and copied) one
// at a time as well: a wider read spanning several fresh stores waits until they all reach the cache.
bool SameBits(const Vector3& a, const Vector3& b) {
  return std::bit_cast<std::uint32_t>(a.x) == std::bit_cast<std::uint32_t>(b.x) &&
         std::bit_cast<std::uint32_t>(a.y) == std::bit_cast<std::uint32_t>(b.y) &&
         std::bit_cast<std::uint32_t>(a.z) == std::bit_cast<std::uint32_t>(b.z);
}
bool SameBits(const BallState& a, const BallState& b) {
  return SameBits(a.Position, b.Position) && SameBits(a.Velocity, b.Velocity) &&
         SameBits(a.RollVelocity, b.RollVelocity) &&
         std::bit_cast<std::uint32_t>(a.Spare) == std::bit_cast<std::uint32_t>(b.Spare) && a.Status == b.Status;
}
void CopyFields(BallState& to, const BallState& from) {
  to.Position = from.Position;
  to.Velocity = from.Velocity;
  to.RollVelocity = from.RollVelocity;
  to.Spare = from.Spare;
  to.Status = from.Status;
}

// Velocity zero and roll at most StillRollLimit, compared as magnitudes' bits (which order like the values).
bool IsStill(const BallState& b) {
  constexpr std::uint32_t limit = std::bit_cast<std::uint32_t>(StillRollLimit);
  const Vector3& v = b.Velocity;
  const Vector3& r = b.RollVelocity;
  return (Magnitude(v.x) | Magnitude(v.y) | Magnitude(v.z)) == 0 && Magnitude(r.x) <= limit &&
         Magnitude(r.y) <= limit && Magnitude(r.z) <= limit;
}

// The step of a ball lying still after a stroke: the general step's result for it, without the
// square root and the subnormal arithmetic of its decaying roll. The checks on a settled roll are
// integer ones, since even comparing subnormals can be slow.
void StepStillBall(BallState& b) {
  Vector3& r = b.RollVelocity;
  if (Magnitude(r.x) <= SettledRollMagnitude && Magnitude(r.y) <= SettledRollMagnitude &&
      Magnitude(r.z) <= SettledRollMagnitude) {
    r = {SettledRoll(r.x), SettledRoll(r.y), SettledRoll(r.z)};
  } else {
    r = {DecayStillRoll(b.Velocity.x, r.x), DecayStillRoll(b.Velocity.y, r.y), DecayStillRoll(b.Velocity.z, r.z)};
  }
  b.Velocity = {0.0f, 0.0f, 0.0f};
}

// The speed the general step finds for a still ball before stopping it: friction alone, pulling the
// zero velocity towards its roll. It sets the thud's level when such a ball slips into a pocket.
float StillBallSpeed(const Vector3& roll) {
  const Vector3 zero{0.0f, 0.0f, 0.0f};
  Vector3 slip, share, velocity;
  VecSubtract(slip, zero, roll);
  VecScale(share, slip, SlideFriction);
  VecSubtract(velocity, zero, share);
  return VecLength(velocity);
}

// A ball the general step has moved, or set moving, must still be within its budget: even unmoved, a
// ball just set moving beside a touching one (a budget below 0) makes the pair a candidate.
void ChargeBudget(int i, const Vector3& p) {
  const double moved =
      std::fabs(static_cast<double>(p.x) - LookX[i]) + std::fabs(static_cast<double>(p.z) - LookZ[i]);
  if (!(moved <= Budget[i])) BudgetsHold = false;
}

// Moves ball i on the cloth by one step. Returns true while the ball is moving or has started to drop.
bool MoveBallOnTable(int i) {
  BallState& b = Balls[i];
  if (IsStill(b)) {
    const BallState before = b;
    VecAdd(b.Position, b.Position, b.Velocity);
    StepStillBall(b);
    if (InPlayingArea(b.Position)) {
      b.Position.y = 0.0f;
      // Velocity +0, roll settled, on the cloth: the step changed nothing and will change nothing.
      if (SameBits(b, before)) Idle |= 1u << i;
      return false;
    }
    const Vector3 roll = before.RollVelocity;
    PlayThud(100.0f * StillBallSpeed(roll));
    b.Status = BallDropping;
    StepPocketDrop(i);
    return true;
  }
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
    if (BudgetsHold) ChargeBudget(i, b.Position);
  } else {
    // The centre has passed a pocket mouth.
    PlayThud(100.0f * speed);
    b.Status = BallDropping;
    StepPocketDrop(i);
    moving = true;
  }
  return moving;
}

// Resolves one pair already found closer than a diameter.
void CollidePair(int i, int j) {
  Vector3 d, n, closing;
  VecSubtract(d, Balls[i].Position, Balls[j].Position);
  // Centres at one point (or too close for the square to be a float) give no direction: no collision.
  if (VecLengthSq(d) == 0.0f) return;
  VecNormalize(n, d);  // from j towards i
  VecSubtract(closing, Balls[i].Velocity, Balls[j].Velocity);
  float s = VecDot(n, closing);
  if (s >= 0.0f) return;  // already separating
  StrokeContact = true;
  Idle &= ~(1u << i | 1u << j);
  Written |= 1u << i | 1u << j;
  PlayClick(-200.0f * s);
  // Equal masses, perfectly elastic: the normal components are exchanged.
  Vector3 impulse;
  VecScale(impulse, n, s);
  VecSubtract(Balls[i].Velocity, Balls[i].Velocity, impulse);
  VecAdd(Balls[j].Velocity, Balls[j].Velocity, impulse);
}

bool IsMoving(const Vector3& v) { return (Magnitude(v.x) | Magnitude(v.y) | Magnitude(v.z)) != 0; }

// After a full look at the pairs: every ball's budget from the packed positions, the distances in double.
void ResetBudgets(const int index[], const float xs[], const float zs[], int count) {
  const double diameter = std::sqrt(static_cast<double>(ContactDistanceSq));
  double nearestSq[BallCount];
  for (int a = 0; a < count; ++a) nearestSq[a] = INFINITY;
  for (int a = 0; a + 1 < count; ++a) {
    for (int b = a + 1; b < count; ++b) {
      const double dx = static_cast<double>(xs[a]) - xs[b], dz = static_cast<double>(zs[a]) - zs[b];
      const double d = dx * dx + dz * dz;
      nearestSq[a] = d < nearestSq[a] ? d : nearestSq[a];
      nearestSq[b] = d < nearestSq[b] ? d : nearestSq[b];
    }
  }
  for (int i = 0; i < BallCount; ++i) Budget[i] = -1.0;  // a ball not on the cloth now has none
  for (int a = 0; a < count; ++a) {
    Budget[index[a]] = 0.5 * (std::sqrt(nearestSq[a]) - diameter) - BudgetMargin;
    LookX[index[a]] = xs[a];
    LookZ[index[a]] = zs[a];
  }
  BudgetsHold = true;
}

void CollideBalls() {
  if (BudgetsHold) return;
  // Positions do not change in this phase and every ball on the table lies at y = 0, so the squared
  // distances can be taken from packed x and z first: (dx^2 + 0) + dz^2 is VecLengthSq's own sum.
  int index[BallCount];
  float xs[BallCount], zs[BallCount];
  int moving[BallCount];
  int count = 0, movingCount = 0;
  for (int i = 0; i < BallCount; ++i) {
    if (Balls[i].Status != BallOnTable) continue;
    if (IsMoving(Balls[i].Velocity)) moving[movingCount++] = count;
    index[count] = i;
    xs[count] = Balls[i].Position.x;
    zs[count] = Balls[i].Position.z;
    ++count;
  }
  // A pair of still balls has no closing speed and stays as it is; a still ball starts moving only
  // when a moving one touches it. So while no moving ball touches another, no pair changes anything.
  bool touching = false;
  for (int m = 0; m < movingCount && !touching; ++m) {
    const int a = moving[m];
    for (int b = 0; b < count; ++b) {
      float dx = xs[a] - xs[b], dz = zs[a] - zs[b];
      touching |= (b != a) & (dx * dx + dz * dz < ContactDistanceSq);
    }
  }
  if (touching) {
    for (int a = 0; a + 1 < count; ++a) {
      float distanceSq[BallCount];
      for (int b = a + 1; b < count; ++b) {
        float dx = xs[a] - xs[b], dz = zs[a] - zs[b];
        distanceSq[b] = dx * dx + dz * dz;
      }
      for (int b = a + 1; b < count; ++b)
        if (distanceSq[b] < ContactDistanceSq) CollidePair(index[a], index[b]);
    }
  }
  ResetBudgets(index, xs, zs, count);
}

// Drops what is known of every ball some other code has written since the last step.
void ForgetChangedBalls() {
  if (LastLeftKnown && std::memcmp(Balls, LastLeft, sizeof Balls) == 0) return;
  BudgetsHold = false;
  for (int i = 0; i < BallCount; ++i) {
    if (!LastLeftKnown || std::memcmp(&Balls[i], &LastLeft[i], sizeof Balls[i]) != 0) {
      Idle &= ~(1u << i);
      Written |= 1u << i;
    }
  }
}

void NoteWhatTheStepLeft() {
  for (std::uint32_t w = Written; w != 0; w &= w - 1) {
    const int i = std::countr_zero(w);
    CopyFields(LastLeft[i], Balls[i]);
  }
  Written = 0;
  LastLeftKnown = true;
}

}  // namespace

void StepPhysics() {
  ForgetChangedBalls();
  bool anyMotion = false;
  // In ball order, as the sounds of a step must come.
  for (std::uint32_t w = ~Idle & ((1u << BallCount) - 1); w != 0; w &= w - 1) {
    const int i = std::countr_zero(w);
    switch (Balls[i].Status) {
      case BallOnTable:
        Written |= 1u << i;
        if (MoveBallOnTable(i)) anyMotion = true;
        break;
      case BallDropping:
        Written |= 1u << i;
        StepPocketDrop(i);
        anyMotion = true;
        break;
      default:
        Idle |= 1u << i;
        break;
    }
  }
  if (anyMotion) CollideBalls();
  NoteWhatTheStepLeft();
  if (!anyMotion && !BallsAtRest) EndOfStroke();
}

}  // namespace kuvo
