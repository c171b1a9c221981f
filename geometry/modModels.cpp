// Models and pocket placement.
#include "geometry/modModels.h"

namespace kuvo {

Vector3 PocketSpots[6];
Vector3 PocketDirections[6];
Matrix4 PocketMatrices[6];

void BuildModels() {}
void ReleaseModels() {}

}  // namespace kuvo
