// The table as the physics sees it: the cushion outline and the drop into a pocket.
#include <cmath>

#include "control/modCtrl.h"
#include "physics/modPhys.h"
#include "sound/modDS.h"

namespace kuvo {

std::vector<Vector3> CushionPoints;
std::int32_t CushionPointCount = 0;

namespace {

constexpr float BallRadius = 0.0325f;
constexpr float BallRadiusSq = 0.00105625f;

// Every outline segment lies on or outside the cushion lines |x| = 1, |z| = 0.5 (the pockets bulge
// outwards), so a centre this far inside them cannot touch any segment and skips the 24 tests.
// The margin of 0.001 is far above the rounding of the segment tests.
constexpr float ClearX = 1.0f - BallRadius - 0.001f;
constexpr float ClearZ = 0.5f - BallRadius - 0.001f;

struct DropTarget {
  float x, z;
};

// Drop target by pocket key round(x) + 10 round(z + 0.5) + 1; any other key glides to the centre.
DropTarget DropTargetFor(int key) {
  switch (key) {
    case 0: return {-1.02f, -0.52f};
    case 1: return {0.0f, -0.537f};
    case 2: return {1.02f, -0.52f};
    case 10: return {-1.02f, 0.52f};
    case 11: return {0.0f, 0.537f};
    case 12: return {1.02f, 0.52f};
    default: return {0.0f, 0.0f};
  }
}

}  // namespace

bool FindCushionContact(const Vector3& p, Vector3& outNormal) {
  if (std::fabs(p.x) < ClearX && std::fabs(p.z) < ClearZ) return false;
  for (std::int32_t k = 0; k < CushionPointCount; ++k) {
    const Vector3& a = CushionPoints[k];
    const Vector3& b = CushionPoints[(k + 1) % CushionPointCount];
    Vector3 e, seg, r;
    VecSubtract(e, b, p);
    VecSubtract(seg, b, a);
    VecSubtract(r, p, a);
    if (VecDot(e, seg) < 0.0f) {
      // Beyond B: the corner point itself.
      if (VecLengthSq(e) < BallRadiusSq) {
        VecNormalize(outNormal, e);
        VecScale(outNormal, outNormal, -1.0f);
        return true;
      }
    } else if (VecDot(r, seg) < 0.0f) {
      // Before A.
      if (VecLengthSq(r) < BallRadiusSq) {
        VecNormalize(outNormal, r);
        return true;
      }
    } else {
      Vector3 u;
      VecNormalize(u, seg);
      float distance = std::fabs(e.z * u.x - e.x * u.z);
      if (distance < BallRadius) {
        // The left-hand normal points into the table whichever side the centre is on.
        outNormal = {-u.z, 0.0f, u.x};
        return true;
      }
    }
  }
  return false;
}

void StepPocketDrop(int index) {
  BallState& ball = Balls[index];
  Vector3& p = ball.Position;
  int key = static_cast<int>(std::nearbyint(p.x)) + 10 * static_cast<int>(std::nearbyint(p.z + 0.5)) + 1;
  DropTarget target = DropTargetFor(key);
  // The ball glides 1 % of the remaining way per step; its velocity no longer applies.
  p.x = static_cast<float>(0.99 * p.x + 0.01 * target.x);
  p.z = static_cast<float>(0.99 * p.z + 0.01 * target.z);
  p.y -= 0.001f;
  if (p.y < -0.1f) {
    PlayDrop();
    ++PocketedCount;
    ball.Status = BallOffTable;
  }
}

}  // namespace kuvo
