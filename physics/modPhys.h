// The sixteen balls, the 1 ms physics step, the cushion outline and the pockets.
#pragma once
#include <cstdint>
#include <vector>

#include "physics/modMath.h"

namespace kuvo {

constexpr std::int32_t BallOnTable = 0;
constexpr std::int32_t BallDropping = 1;  // gliding into a pocket
constexpr std::int32_t BallOffTable = 2;  // pocketed, or taken off after a foul

struct BallState {
  Vector3 Position;      // centre; y = 0 on the cloth, below 0 while dropping
  Vector3 Velocity;      // table units per 1 ms step
  Vector3 RollVelocity;  // the velocity the ball's rotation corresponds to
  float Spare;           // cleared by the rack, read by nothing
  std::int32_t Status;   // BallOnTable, BallDropping or BallOffTable
};

constexpr int BallCount = 16;

// Owned here; placed by RackBalls, struck by Strike, read by drawing, selection and the computer player.
extern BallState Balls[BallCount];

// The cushion outline in the x-z plane (y = 0), filled by the table-geometry reader.
extern std::vector<Vector3> CushionPoints;
extern std::int32_t CushionPointCount;

// One 1 ms step of every ball; runs the end-of-stroke rules once all balls rest after a stroke.
void StepPhysics();

// True when a ball centred at `position` touches the outline; then writes the unit contact
// normal (pointing into the table) to `outNormal`, which is left alone otherwise.
bool FindCushionContact(const Vector3& position, Vector3& outNormal);

// One step of ball `index` gliding down into its pocket.
void StepPocketDrop(int index);

}  // namespace kuvo
