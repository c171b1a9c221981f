// Every model of the scene and the pocket placement data, and the reader that turns the embedded
// table-geometry stream into the seven table meshes and the physics' cushion outline.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/cMesh.h"
#include "physics/modMath.h"

namespace kuvo {

// The models, owned here, built by BuildModels and dropped by ReleaseModels; drawn by the draw passes.
extern std::unique_ptr<cMesh> BallMesh;    // sphere of radius 0.0325, shared by all balls and their shadows
extern std::unique_ptr<cMesh> CueMesh;     // tapered cylinder, tip at the origin, butt at z = -1.6
extern std::unique_ptr<cMesh> PocketMesh;  // half torus, the lip round the outer half of a pocket
// TableMeshes[k - 1] receives mesh number k of the table-geometry stream.
extern std::unique_ptr<cMesh> TableMeshes[7];

// Per pocket: x and z of the aim spot, y the yaw of the pocket's opening. Read by the physics' pocket
// description and the computer player.
extern Vector3 PocketSpots[6];
// Unit vectors pointing out of the table through each pocket.
extern Vector3 PocketDirections[6];
// World matrix of each pocket rim.
extern Matrix4 PocketMatrices[6];

// The outline being read: 256 points and 1024 indices during the build, one element each after it.
extern std::vector<OutlinePoint> OutlinePoints;
extern std::uint8_t OutlinePointCount;
extern std::vector<std::int16_t> OutlineIndices;
extern std::int32_t OutlineIndexCount;

// ---- Draw passes ----

// The vertex shader constants c0..c8: transpose(World × View × Projection), transpose(World), CameraEye (w 0).
extern float VertexConstants[36];
// Fills VertexConstants for world matrix W and the current camera and uploads all nine registers.
void UploadWorld(const Matrix4& W);
// The passes of a frame, in their order. Each raises its first failing device call as DeviceError; the
// frame abandons that pass and goes on with the next.
void DrawTable();        // pocket rims, table meshes, bed and cushions, floor, wall panels
void DrawBalls();        // every ball not taken off, the selected one tinted red
void DrawCue();          // only while the game is on
void DrawBallShadows();  // multiplicative: a flattened ball under each ball on the table
void DrawHud();          // additive: the text line, fixed on screen

// Builds every model and the pocket data; any failure is raised to the caller.
void BuildModels();
// Drops the table meshes in index order, then the pocket, cue and ball meshes.
void ReleaseModels();

// Ear clipping of OutlinePoints[0 .. OutlinePointCount - 1], counter-clockwise in code coordinates, into
// OutlineIndices: 3 × (n − 2) indices, triangles as (prev, cur, next). An outline with no ear to clip
// (clockwise, or all points in a line) raises std::runtime_error after a full turn without a clip.
void TriangulateOutline();
void AddOutlineTriangle(std::int32_t a, std::int32_t b, std::int32_t c);
// Inside or on the boundary of the counter-clockwise triangle a, b, c.
bool PointInTriangle(const OutlinePoint& p, const OutlinePoint& a, const OutlinePoint& b, const OutlinePoint& c);
bool SegmentsCross(const OutlinePoint& p1, const OutlinePoint& p2, const OutlinePoint& q1, const OutlinePoint& q2);

// A difference of two points' codes, (x, y).
struct CodeDelta {
  float x, y;
};
CodeDelta PointDelta(const OutlinePoint& a, const OutlinePoint& b);
float Cross2D(const CodeDelta& d, const CodeDelta& e);

}  // namespace kuvo
