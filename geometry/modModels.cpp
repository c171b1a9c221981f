// Models and pocket placement, the table-geometry stream reader and its ear-clipping triangulation.
#include "geometry/modModels.h"

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "physics/modPhys.h"
#include "platform/Errors.h"

namespace kuvo {

// The table-geometry stream, compiled in from resources/TableGeometry.bin.
extern const unsigned char TableGeometry[];
extern const std::size_t TableGeometrySize;

std::unique_ptr<cMesh> BallMesh;
std::unique_ptr<cMesh> CueMesh;
std::unique_ptr<cMesh> PocketMesh;
std::unique_ptr<cMesh> TableMeshes[7];

Vector3 PocketSpots[6];
Vector3 PocketDirections[6];
Matrix4 PocketMatrices[6];

std::vector<OutlinePoint> OutlinePoints(1);
std::uint8_t OutlinePointCount = 0;
std::vector<std::int16_t> OutlineIndices(1);
std::int32_t OutlineIndexCount = 0;

namespace {

constexpr int kOutlineCapacity = 256;
constexpr int kOutlineIndexCapacity = 1024;
// A header byte A of 255 marks the physics' cushion outline.
constexpr std::uint8_t kCushionRecord = 255;
// Cushion codes are on the table's grid: code 128 is the middle, 80 codes per table unit.
constexpr double kCushionScale = 0.0125;
constexpr int kCushionOffset = 128;

// The pockets' aim spots and opening yaws (multiples of the single-precision quarter turn).
constexpr Vector3 kPocketSpots[6] = {{0.966f, 0.78539824f, -0.466f}, {-0.966f, 2.3561947f, -0.466f},
                                     {-0.966f, 3.9269912f, 0.466f},  {0.966f, 5.4977875f, 0.466f},
                                     {0.0f, 1.5707965f, -0.5f},      {0.0f, 4.7123895f, 0.5f}};
// The rims sit this much further out than the spots, along each axis the spot is off centre.
constexpr float kRimShift = 0.034f;
constexpr float kRimHeight = -0.007f;

float Sign(float v) { return v > 0.0f ? 1.0f : (v < 0.0f ? -1.0f : 0.0f); }

cMesh& TableMesh(int number, int record) {
  if (number < 1 || number > 7)
    throw std::runtime_error("table geometry record " + std::to_string(record) + " names mesh " +
                             std::to_string(number) + ", not 1..7");
  return *TableMeshes[number - 1];
}

// Feeds every record of the stream to the table meshes and the cushion outline. The stored stream is
// known good; the bounds are checked anyway so a damaged one fails with a message instead of reading
// past its end.
void ReadTableGeometry() {
  const unsigned char* bytes = TableGeometry;
  const std::size_t size = TableGeometrySize;
  auto need = [size](std::size_t p, std::size_t count, int record) {
    if (p + count > size)
      throw std::runtime_error("table geometry stream ends inside record " + std::to_string(record));
  };
  need(0, 1, 0);
  OutlinePoints.assign(kOutlineCapacity, OutlinePoint{});
  OutlineIndices.assign(kOutlineIndexCapacity, 0);

  const int records = bytes[0];
  std::size_t p = 1;
  for (int record = 0; record < records; ++record) {
    need(p, 5, record);
    const std::uint8_t A = bytes[p];
    const std::uint8_t B = bytes[p + 1];
    const std::uint8_t cap = bytes[p + 2];
    const std::uint8_t n = bytes[p + 4];  // byte p + 3 is not used
    OutlinePointCount = n;
    p += 5;
    need(p, 3 * std::size_t{n}, record);

    if (A == kCushionRecord) {
      // The y code maps to +z here, not to -z as in the meshes; the table is symmetric about z = 0.
      CushionPointCount = n;
      CushionPoints.assign(n, Vector3{0.0f, 0.0f, 0.0f});
      for (int k = 0; k < n; ++k, p += 3) {
        CushionPoints[k] = Vector3{static_cast<float>((bytes[p] - kCushionOffset) * kCushionScale), 0.0f,
                                   static_cast<float>((bytes[p + 1] - kCushionOffset) * kCushionScale)};
      }
      continue;
    }

    for (int k = 0; k < n; ++k, p += 3) OutlinePoints[k] = OutlinePoint{bytes[p], bytes[p + 1], bytes[p + 2]};
    // Triangulated even when the record adds no face; the indices are then unused.
    TriangulateOutline();
    if (cap != 0) TableMesh(cap, record).AddFlatPolygon(OutlinePoints, n, OutlineIndices, OutlineIndexCount, A);
    for (int j = 0; j < n; ++j) {
      const int wall = OutlinePoints[j].wall;
      if (wall != 0) TableMesh(wall, record).AddWallQuad(OutlinePoints, j, n, A, B);
    }
  }
}

void RaiseStatus(HRESULT status, const char* call) {
  if (status < 0) throw DeviceError(call, status);
}

}  // namespace

// ---- Outline triangulation ----

CodeDelta PointDelta(const OutlinePoint& a, const OutlinePoint& b) {
  return CodeDelta{static_cast<float>(a.x - b.x), static_cast<float>(a.y - b.y)};
}

float Cross2D(const CodeDelta& d, const CodeDelta& e) { return d.x * e.y - d.y * e.x; }

bool PointInTriangle(const OutlinePoint& p, const OutlinePoint& a, const OutlinePoint& b, const OutlinePoint& c) {
  return Cross2D(PointDelta(b, a), PointDelta(p, a)) >= 0.0f && Cross2D(PointDelta(c, b), PointDelta(p, b)) >= 0.0f &&
         Cross2D(PointDelta(a, c), PointDelta(p, c)) >= 0.0f;
}

bool SegmentsCross(const OutlinePoint& p1, const OutlinePoint& p2, const OutlinePoint& q1, const OutlinePoint& q2) {
  auto f = [](float t) { return t <= 0.0f; };
  const CodeDelta p = PointDelta(p2, p1);
  const CodeDelta q = PointDelta(q2, q1);
  return f(Cross2D(p, PointDelta(q2, p1))) != f(Cross2D(p, PointDelta(q1, p1))) &&
         f(Cross2D(q, PointDelta(p1, q1))) != f(Cross2D(q, PointDelta(p2, q1)));
}

void AddOutlineTriangle(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (OutlineIndexCount + 3 > static_cast<std::int32_t>(OutlineIndices.size()))
    OutlineIndices.resize(OutlineIndexCount + 3);
  OutlineIndices[OutlineIndexCount] = static_cast<std::int16_t>(a);
  OutlineIndices[OutlineIndexCount + 1] = static_cast<std::int16_t>(b);
  OutlineIndices[OutlineIndexCount + 2] = static_cast<std::int16_t>(c);
  OutlineIndexCount += 3;
}

void TriangulateOutline() {
  const int n = OutlinePointCount;
  if (n < 3)
    throw std::runtime_error("TriangulateOutline: an outline needs at least 3 points, got " + std::to_string(n));
  if (static_cast<int>(OutlinePoints.size()) < n)
    throw std::runtime_error("TriangulateOutline: too few outline points");
  const std::vector<OutlinePoint>& P = OutlinePoints;
  std::array<bool, kOutlineCapacity> removed{};
  OutlineIndexCount = 0;
  int remaining = n;
  int cur = 0;
  // Each pass moves on to the next remaining point and the outline changes only when an ear is
  // clipped, so a full turn without a clip would repeat for ever.
  int passesWithoutClip = 0;
  for (;;) {
    while (removed[cur]) cur = (cur + 1) % n;
    int next = (cur + 1) % n;
    while (removed[next]) next = (next + 1) % n;
    int prev = (n + cur - 1) % n;
    while (removed[prev]) prev = (n + prev - 1) % n;
    if (remaining == 3) {
      AddOutlineTriangle(prev, cur, next);
      return;
    }

    bool clipped = false;
    // Negative: cur is convex in a counter-clockwise outline.
    if (Cross2D(PointDelta(P[prev], P[cur]), PointDelta(P[next], P[cur])) < 0.0f) {
      // The diagonal prev-next is checked against every edge of the whole outline between them, removed
      // points included, and only the point just before prev is tested for containment.
      bool accepted = false;
      int k = next;
      for (;;) {
        k = (k + 1) % n;
        if ((k + 1) % n == prev) {
          accepted = !PointInTriangle(P[k], P[cur], P[next], P[prev]);
          break;
        }
        if (SegmentsCross(P[prev], P[next], P[k], P[(k + 1) % n])) break;
      }
      if (accepted) {
        removed[cur] = true;
        AddOutlineTriangle(prev, cur, next);
        --remaining;
        clipped = true;
      }
    }
    passesWithoutClip = clipped ? 0 : passesWithoutClip + 1;
    if (passesWithoutClip > n)
      throw std::runtime_error("TriangulateOutline: no ear to clip in a full turn (the outline of " +
                               std::to_string(n) + " points is not counter-clockwise, or its points are in a line)");
    cur = (cur + 1) % n;
  }
}

// ---- Models ----

void BuildModels() {
  PocketMesh = std::make_unique<cMesh>();
  PocketMesh->BuildHalfTorus(16, 16, 0.05f, 0.01f);

  for (int i = 0; i < 6; ++i) PocketSpots[i] = kPocketSpots[i];
  for (int i = 0; i < 6; ++i) {
    const Vector3& spot = PocketSpots[i];
    const float yaw = spot.y;
    // Turned first, then moved: the half torus's bulge (+x in object space) faces out of the table.
    Matrix4 turn, move;
    MatrixRotationY(turn, yaw);
    VecTransformNormal(PocketDirections[i], Vector3{1.0f, 0.0f, 0.0f}, turn);
    MatrixTranslation(move, spot.x + Sign(spot.x) * kRimShift, kRimHeight, spot.z + Sign(spot.z) * kRimShift);
    MatrixMultiply(PocketMatrices[i], turn, move);
  }

  for (auto& mesh : TableMeshes) {
    mesh = std::make_unique<cMesh>();
    RaiseStatus(mesh->BeginBuild(4.0f, 0.0125f, 128), "BeginBuild");
  }
  // The room is drawn on a coarser grid: 0.4 units per code around code 32.
  RaiseStatus(TableMeshes[4]->BeginBuild(0.75f, 0.4f, 32), "BeginBuild");
  RaiseStatus(TableMeshes[5]->BeginBuild(4.0f, 0.4f, 32), "BeginBuild");
  RaiseStatus(TableMeshes[6]->BeginBuild(8.0f, 0.0125f, 128), "BeginBuild");

  // Each wall quad draws one NextNoise value, so the build consumes the generator in record order.
  ReadTableGeometry();
  for (auto& mesh : TableMeshes) RaiseStatus(mesh->EndBuild(), "EndBuild");
  OutlinePoints.assign(1, OutlinePoint{});
  OutlineIndices.assign(1, 0);

  BallMesh = std::make_unique<cMesh>();
  BallMesh->BuildSphere(64, 32, 0.0325f);
  CueMesh = std::make_unique<cMesh>();
  CueMesh->BuildTaperedCylinder(16, 0.0125f, 0.005f, 1.6f);
}

void ReleaseModels() {
  for (auto& mesh : TableMeshes) mesh.reset();
  PocketMesh.reset();
  CueMesh.reset();
  BallMesh.reset();
}

}  // namespace kuvo
