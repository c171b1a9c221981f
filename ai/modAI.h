// The computer player: a geometric search for a pottable shot, spoilt by an aiming error.
#pragma once
#include "physics/modMath.h"

namespace kuvo {

// Scale of the aiming error: 0.11 "Novice", 0.035 "Average", 0.01 "Master!".
extern float Difficulty;

// Writes SelectedBall and ComputerShot for the computer's next stroke.
void ChooseComputerShot();

// True when no other ball on the table (besides `exclude`, which may be -1) lies across the
// straight path from ball `ball` to `point`. Always writes that path's length to outDistance.
bool PathIsClear(const Vector3& point, int ball, int exclude, float& outDistance);

// Two-dimensional helpers on x and z; y is never read and never written.
void Subtract2D(Vector3& out, const Vector3& a, const Vector3& b);
void Add2D(Vector3& out, const Vector3& a, const Vector3& b);
void Scale2D(Vector3& out, const Vector3& v, float s);
float Length2D(const Vector3& v);
float Dot2D(const Vector3& a, const Vector3& b);
float PerpOffset2D(const Vector3& d, const Vector3& w);
// Leaves `out` unchanged when v has zero length.
void Normalize2D(Vector3& out, const Vector3& v);

}  // namespace kuvo
