// The table's cushion outline and pocket data as the geometry reader and BuildModels leave them,
// for tests and benchmarks of the physics that do not build the models.
#pragma once
#include "geometry/modModels.h"
#include "physics/modPhys.h"

namespace kuvo::testing {

// The table's cushion outline and pocket data, as the geometry reader and BuildModels leave them.
inline void LoadTable() {
  static const float outline[24][2] = {
      {-0.95f, 0.5f}, {-1.0f, 0.55f}, {-1.05f, 0.5f}, {-1.0f, 0.45f}, {-1.0f, -0.45f}, {-1.05f, -0.5f},
      {-1.0f, -0.55f}, {-0.95f, -0.5f}, {-0.0375f, -0.5f}, {-0.0375f, -0.5625f}, {0.0375f, -0.5625f},
      {0.0375f, -0.5f}, {0.95f, -0.5f}, {1.0f, -0.55f}, {1.05f, -0.5f}, {1.0f, -0.45f}, {1.0f, 0.45f},
      {1.05f, 0.5f}, {1.0f, 0.55f}, {0.95f, 0.5f}, {0.0375f, 0.5f}, {0.0375f, 0.5625f}, {-0.0375f, 0.5625f},
      {-0.0375f, 0.5f}};
  CushionPoints.assign(24, Vector3{0, 0, 0});
  for (int k = 0; k < 24; ++k) CushionPoints[k] = {outline[k][0], 0.0f, outline[k][1]};
  CushionPointCount = 24;
  static const Vector3 spots[6] = {{0.966f, 0.78539824f, -0.466f}, {-0.966f, 2.3561947f, -0.466f},
                                   {-0.966f, 3.9269912f, 0.466f},  {0.966f, 5.4977875f, 0.466f},
                                   {0.0f, 1.5707965f, -0.5f},      {0.0f, 4.7123895f, 0.5f}};
  for (int k = 0; k < 6; ++k) {
    PocketSpots[k] = spots[k];
    Matrix4 r;
    MatrixRotationY(r, spots[k].y);
    VecTransformNormal(PocketDirections[k], Vector3{1, 0, 0}, r);
  }
}

}  // namespace kuvo::testing
