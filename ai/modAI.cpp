// The computer player. Every ball may be struck and every pocketed ball scores, so the search
// treats all balls alike: each object ball into each pocket, struck by each other ball.
#include "ai/modAI.h"

#include <cmath>

#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"

namespace kuvo {

float Difficulty = 0.035f;

namespace {

constexpr float BallDiameter = 0.065f;
// Dot + 1 below this keeps a ball within 45 degrees of a pocket's axis.
constexpr float AngleLimit = 0.293f;
// Far above any real total, so every admissible combination can win.
constexpr float NoShotScore = 100.0f;
constexpr float FallbackScore = 2.0f;

bool OnTable(int i) { return Balls[i].Status == BallOnTable; }

void ChooseBreak() {
  // A full-power break straight at the rack, with a small random sideways component.
  Vector3 d{-1.0f, 0.0f, (NextNoise() - 0.5f) * 0.2f};
  Normalize2D(ComputerShot, d);
  ComputerShot.y = 4.0f;
  SelectedBall = 15;
}

}  // namespace

void Subtract2D(Vector3& out, const Vector3& a, const Vector3& b) {
  out.x = a.x - b.x;
  out.z = a.z - b.z;
}

void Add2D(Vector3& out, const Vector3& a, const Vector3& b) {
  out.x = a.x + b.x;
  out.z = a.z + b.z;
}

void Scale2D(Vector3& out, const Vector3& v, float s) {
  out.x = s * v.x;
  out.z = s * v.z;
}

float Length2D(const Vector3& v) { return std::sqrt(v.x * v.x + v.z * v.z); }

float Dot2D(const Vector3& a, const Vector3& b) { return a.x * b.x + a.z * b.z; }

float PerpOffset2D(const Vector3& d, const Vector3& w) { return w.z * d.x - d.z * w.x; }

void Normalize2D(Vector3& out, const Vector3& v) {
  float length = Length2D(v);
  if (length > 0.0f) Scale2D(out, v, 1.0f / length);
}

bool PathIsClear(const Vector3& point, int ball, int exclude, float& outDistance) {
  const Vector3& from = Balls[ball].Position;
  Vector3 dir{0.0f, 0.0f, 0.0f};
  Subtract2D(dir, point, from);
  float length = Length2D(dir);
  outDistance = length;
  dir.x /= length;
  dir.z /= length;
  for (int b = 0; b < BallCount; ++b) {
    if (b == ball || b == exclude || !OnTable(b)) continue;
    Vector3 w{0.0f, 0.0f, 0.0f};
    Subtract2D(w, Balls[b].Position, from);
    if (std::fabs(PerpOffset2D(dir, w)) < BallDiameter) {
      // Only a ball strictly between the moving ball and the point blocks.
      float along = Dot2D(dir, w);
      if (along > 0.0f && along < length) return false;
    }
  }
  return true;
}

void ChooseComputerShot() {
  if (OpeningStroke) {
    ChooseBreak();
    return;
  }
  float best = NoShotScore;
  int bestBall = -1;
  Vector3 target{0.0f, 0.0f, 0.0f};
  for (int i = 0; i < BallCount; ++i) {
    if (!OnTable(i)) continue;
    const Vector3& object = Balls[i].Position;
    for (int k = 0; k < 6; ++k) {
      const Vector3& spot = PocketSpots[k];
      Vector3 offset{0.0f, 0.0f, 0.0f}, u{0.0f, 0.0f, 0.0f};
      Subtract2D(offset, object, spot);
      Normalize2D(u, offset);  // from the pocket to the object ball
      float a1 = Dot2D(u, PocketDirections[k]) + 1.0f;
      if (!(a1 < AngleLimit)) continue;
      float d1;
      if (!PathIsClear(spot, i, -1, d1)) continue;
      float s1 = 5.0f * a1 + d1;
      // Where the striking ball's centre must be at contact to send ball i into pocket k.
      Vector3 ghost{0.0f, 0.0f, 0.0f}, reach{0.0f, 0.0f, 0.0f};
      Scale2D(reach, u, BallDiameter);
      Add2D(ghost, object, reach);
      for (int j = 0; j < BallCount; ++j) {
        if (j == i || !OnTable(j)) continue;
        Vector3 approach{0.0f, 0.0f, 0.0f}, v{0.0f, 0.0f, 0.0f};
        Subtract2D(approach, Balls[j].Position, ghost);
        // A striker already standing on the ghost point has no direction to be played in.
        if (Length2D(approach) == 0.0f) continue;
        Normalize2D(v, approach);
        float a2 = Dot2D(v, PocketDirections[k]) + 1.0f;
        if (!(a2 < AngleLimit)) continue;
        float d2;
        if (!PathIsClear(ghost, j, i, d2)) continue;
        float total = s1 + d2 + 10.0f * a2;
        if (total < best) {
          best = total;
          target = ghost;
          bestBall = j;
        }
      }
    }
  }
  if (bestBall >= 0) {
    SelectedBall = bestBall;
  } else {
    // Nothing pottable: play the selected ball towards the last ball on the table.
    SelectBall(0, 0);
    best = FallbackScore;
    for (int i = BallCount - 1; i >= 0; --i) {
      if (OnTable(i)) {
        target = Balls[i].Position;
        break;
      }
    }
  }
  Vector3 toTarget{0.0f, 0.0f, 0.0f}, dir{0.0f, 0.0f, 0.0f};
  Subtract2D(toTarget, target, Balls[SelectedBall].Position);
  Normalize2D(dir, toTarget);
  float noiseX = NextNoise();
  float noiseZ = NextNoise();
  dir.x += (noiseX - 0.5f) * Difficulty;
  dir.z += (noiseZ - 0.5f) * Difficulty;
  Normalize2D(ComputerShot, dir);
  // Long shots and awkward angles are played harder.
  ComputerShot.y = std::sqrt(best) + 0.3f;
}

}  // namespace kuvo
