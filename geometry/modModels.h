// Every model of the scene and the pocket placement data.
#pragma once
#include "physics/modMath.h"

namespace kuvo {

// Per pocket: x and z of the aim spot, y the yaw of the pocket's opening.
extern Vector3 PocketSpots[6];
// Unit vectors pointing out of the table through each pocket.
extern Vector3 PocketDirections[6];
extern Matrix4 PocketMatrices[6];

void BuildModels();
void ReleaseModels();

}  // namespace kuvo
