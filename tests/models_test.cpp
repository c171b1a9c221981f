// The table-geometry stream, the outline triangulation, and the models and pocket data BuildModels makes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/modUtil.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"
#include "platform/Errors.h"
#include "tests/GfxTestSupport.h"

namespace kuvo {
extern const unsigned char TableGeometry[];
extern const std::size_t TableGeometrySize;
}  // namespace kuvo

namespace kuvo::testing {
namespace {

// The stored stream, record by record: A, B, cap mesh, n, then the points as x,y,wall (x,y for the
// cushion outline).
const char* const kRecords[25] = {
    "90 68 4 32 184,164,2 182,162,3 146,162,2 144,164,2 112,164,2 110,162,3 74,162,2 72,164,2 56,164,2 52,160,2 "
    "52,144,2 54,142,3 54,114,2 52,112,2 52,96,2 56,92,2 72,92,2 74,94,3 110,94,2 112,92,2 144,92,2 146,94,3 "
    "182,94,2 184,92,2 200,92,2 204,96,2 204,112,2 202,114,3 202,142,2 204,144,2 204,160,2 200,164,2",
    "98 90 0 4 60,156,4 60,100,4 196,100,4 196,156,4",
    "99 90 3 8 209,83,3 213,87,3 213,88,3 200,104,3 211,88,3 208,85,3 192,96,3 208,83,3",
    "99 90 3 8 43,87,3 47,83,3 48,83,3 64,96,3 48,85,3 45,88,3 56,104,3 43,88,3",
    "99 90 3 8 125,81,3 131,81,3 132,82,3 133,96,3 130,83,3 126,83,3 123,96,3 124,82,3",
    "99 90 3 8 131,175,3 125,175,3 124,174,3 123,160,3 126,173,3 130,173,3 133,160,3 132,174,3",
    "99 90 3 8 47,173,3 43,169,3 43,168,3 56,152,3 45,168,3 48,171,3 64,160,3 48,173,3",
    "99 98 5 4 16,48,0 16,16,0 48,16,0 48,48,0",
    "99 90 3 8 213,169,3 209,173,3 208,173,3 192,160,3 208,171,3 211,168,3 200,152,3 213,168,3",
    "100 98 1 12 48,164,0 48,92,1 52,88,0 125,88,1 131,88,0 204,88,1 208,92,0 208,164,1 204,168,0 131,168,1 "
    "125,168,0 52,168,1",
    "103 98 1 4 125,88,1 52,88,1 50,86,0 125,86,1",
    "103 98 2 4 212,88,2 212,168,2 210,166,0 210,90,2",
    "103 98 2 4 46,90,0 46,166,2 44,168,2 44,88,2",
    "103 98 1 4 206,170,0 131,170,1 131,168,1 204,168,1",
    "103 98 2 4 206,86,0 131,86,2 131,84,2 208,84,2",
    "103 98 1 4 204,88,1 131,88,1 131,86,0 206,86,1",
    "103 98 1 4 208,164,1 208,92,1 210,90,0 210,166,1",
    "103 98 1 4 46,166,0 46,90,1 48,92,1 48,164,1",
    "103 98 1 4 125,170,0 50,170,1 52,168,1 125,168,1",
    "103 98 2 4 125,172,2 48,172,2 50,170,0 125,170,2",
    "103 98 2 4 208,172,2 131,172,2 131,170,0 206,170,2",
    "103 98 2 4 125,86,0 50,86,2 48,84,2 125,84,2",
    "107 99 0 11 48,36,6 48,28,0 36,16,6 28,16,0 16,28,6 16,36,0 12,12,0 52,12,0 52,52,0 28,48,6 36,48,0",
    "180 174 0 3 128,101,0 160,104,7 96,104,0",
    "255 0 0 24 52,168 48,172 44,168 48,164 48,92 44,88 48,84 52,88 125,88 125,83 131,83 131,88 204,88 208,84 "
    "212,88 208,92 208,164 212,168 208,172 204,168 131,168 131,173 125,173 125,168"};

struct Record {
  int A, B, cap, n;
  std::vector<OutlinePoint> points;
};

Record ParseRecord(const char* text) {
  std::istringstream in(text);
  Record r;
  in >> r.A >> r.B >> r.cap >> r.n;
  std::string point;
  while (in >> point) {
    int x = 0, y = 0, wall = 0;
    std::sscanf(point.c_str(), "%d,%d,%d", &x, &y, &wall);
    r.points.push_back(OutlinePoint{std::uint8_t(x), std::uint8_t(y), std::uint8_t(wall)});
  }
  return r;
}

std::vector<int> Triangulate(const std::vector<OutlinePoint>& points) {
  OutlinePoints.assign(256, OutlinePoint{});
  OutlineIndices.assign(1024, 0);
  for (std::size_t k = 0; k < points.size(); ++k) OutlinePoints[k] = points[k];
  OutlinePointCount = static_cast<std::uint8_t>(points.size());
  TriangulateOutline();
  return std::vector<int>(OutlineIndices.begin(), OutlineIndices.begin() + OutlineIndexCount);
}

std::vector<int> Triangulate(std::initializer_list<std::array<int, 2>> codes) {
  std::vector<OutlinePoint> points;
  for (auto [x, y] : codes) points.push_back(OutlinePoint{std::uint8_t(x), std::uint8_t(y), 0});
  return Triangulate(points);
}

// Twice the signed area of a triangle or polygon in code coordinates (positive counter-clockwise).
long TwiceArea(const std::vector<OutlinePoint>& p, const std::vector<int>& order) {
  long sum = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    const OutlinePoint& a = p[order[k]];
    const OutlinePoint& b = p[order[(k + 1) % order.size()]];
    sum += long{a.x} * b.y - long{b.x} * a.y;
  }
  return sum;
}

TEST(TableGeometryStream, HoldsExactlyTheStoredRecords) {
  ASSERT_EQ(TableGeometrySize, 684u);
  EXPECT_EQ(TableGeometry[0], 25);
  std::size_t p = 1;
  for (int r = 0; r < 25; ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    Record want = ParseRecord(kRecords[r]);
    ASSERT_EQ(int(want.points.size()), want.n);
    ASSERT_LE(p + 5 + 3 * want.n, TableGeometrySize);
    EXPECT_EQ(TableGeometry[p], want.A);
    EXPECT_EQ(TableGeometry[p + 1], want.B);
    EXPECT_EQ(TableGeometry[p + 2], want.cap);
    EXPECT_EQ(TableGeometry[p + 3], 0);
    EXPECT_EQ(TableGeometry[p + 4], want.n);
    p += 5;
    for (const OutlinePoint& pt : want.points) {
      EXPECT_EQ(TableGeometry[p], pt.x);
      EXPECT_EQ(TableGeometry[p + 1], pt.y);
      EXPECT_EQ(TableGeometry[p + 2], pt.wall);
      p += 3;
    }
  }
  EXPECT_EQ(p, TableGeometrySize);
}

TEST(TriangulateOutline, SmallOutlinesClipInTheStatedOrder) {
  EXPECT_EQ(Triangulate({{0, 0}, {10, 0}, {5, 10}}), (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(Triangulate({{0, 0}, {10, 0}, {10, 10}, {0, 10}}), (std::vector<int>{3, 0, 1, 3, 1, 2}));
  // The collinear point 3 is not clipped while more than three points remain.
  EXPECT_EQ(Triangulate({{0, 0}, {10, 0}, {10, 10}, {5, 10}, {0, 10}}), (std::vector<int>{4, 0, 1, 1, 2, 3, 1, 3, 4}));
  // A reflex point (the notch at 5, 5) is passed over until its neighbours are gone.
  auto notch = Triangulate({{0, 0}, {10, 0}, {10, 10}, {5, 5}, {0, 10}});
  ASSERT_EQ(notch.size(), 9u);
  for (std::size_t t = 0; t < 6; t += 3) EXPECT_NE(notch[t + 1], 3);
}

TEST(TriangulateOutline, StoredRecordsNineAndTwentyTwo) {
  EXPECT_EQ(Triangulate(ParseRecord(kRecords[9]).points),
            (std::vector<int>{11, 0, 1, 11, 1, 2, 11, 2, 3, 11, 3, 4,  11, 4,  5,
                              11, 5, 6, 11, 6, 7, 7,  8, 9, 7,  9, 10, 7,  10, 11}));
  EXPECT_EQ(Triangulate(ParseRecord(kRecords[22]).points),
            (std::vector<int>{4, 5, 6, 8, 9, 10, 8, 10, 0, 8, 0, 1, 3, 4, 6, 3, 6, 7, 7, 8, 1, 7, 1, 2, 7, 2, 3}));
}

TEST(TriangulateOutline, EveryRecordIsCoveredByCounterClockwiseTriangles) {
  for (int r = 0; r < 24; ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    Record rec = ParseRecord(kRecords[r]);
    auto tri = Triangulate(rec.points);
    ASSERT_EQ(int(tri.size()), 3 * (rec.n - 2));
    long covered = 0;
    for (std::size_t t = 0; t < tri.size(); t += 3) {
      long twice = TwiceArea(rec.points, {tri[t], tri[t + 1], tri[t + 2]});
      EXPECT_GE(twice, 0) << "triangle " << t / 3;
      covered += twice;
    }
    std::vector<int> all(rec.n);
    for (int k = 0; k < rec.n; ++k) all[k] = k;
    EXPECT_EQ(covered, TwiceArea(rec.points, all));
  }
}

TEST(TriangulateOutline, OutlinesWithoutAnEarFailInsteadOfLooping) {
  EXPECT_THROW(Triangulate({{0, 0}, {0, 10}, {10, 10}, {10, 0}}), std::runtime_error);  // clockwise
  EXPECT_THROW(Triangulate({{0, 0}, {5, 0}, {10, 0}, {15, 0}}), std::runtime_error);    // in a line
  EXPECT_THROW(Triangulate({{0, 0}, {5, 0}}), std::runtime_error);
  try {
    Triangulate({{0, 0}, {0, 10}, {10, 10}, {10, 0}});
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("counter-clockwise"), std::string::npos);
  }
}

TEST(TriangulateOutline, PredicatesCountTheBoundary) {
  const OutlinePoint a{0, 0, 0}, b{10, 0, 0}, c{0, 10, 0};
  EXPECT_TRUE(PointInTriangle({2, 2, 0}, a, b, c));
  EXPECT_TRUE(PointInTriangle({5, 0, 0}, a, b, c));   // on an edge
  EXPECT_TRUE(PointInTriangle({0, 10, 0}, a, b, c));  // a corner
  EXPECT_FALSE(PointInTriangle({6, 6, 0}, a, b, c));
  EXPECT_TRUE(SegmentsCross({0, 0, 0}, {10, 10, 0}, {0, 10, 0}, {10, 0, 0}));
  EXPECT_FALSE(SegmentsCross({0, 0, 0}, {10, 10, 0}, {20, 0, 0}, {30, 10, 0}));
  EXPECT_FALSE(SegmentsCross({0, 0, 0}, {10, 0, 0}, {0, 5, 0}, {10, 5, 0}));  // parallel
  EXPECT_EQ(Cross2D(PointDelta(b, a), PointDelta(c, a)), 100.0f);
}

class ModelsTest : public GfxFixture {
 protected:
  void TearDown() override {
    ReleaseModels();
    GfxFixture::TearDown();
  }
  // Wall quads in the stream: one per point with a wall mesh, outside the cushion outline.
  static int StreamWalls() {
    int walls = 0;
    for (int r = 0; r < 24; ++r)
      for (const OutlinePoint& p : ParseRecord(kRecords[r]).points) walls += p.wall != 0;
    return walls;
  }
};

TEST_F(ModelsTest, TableMeshSizesAndUploadedGeometry) {
  BuildModels();
  const int sizes[7][2] = {{132, 210}, {200, 300}, {264, 432}, {48, 114}, {4, 6}, {16, 24}, {4, 6}};
  for (int k = 0; k < 7; ++k) {
    SCOPED_TRACE("table mesh " + std::to_string(k));
    const cMesh& mesh = *TableMeshes[k];
    EXPECT_EQ(mesh.VertexCount(), sizes[k][0]);
    EXPECT_EQ(mesh.IndexCount(), sizes[k][1]);
    EXPECT_EQ(mesh.TriangleCount(), sizes[k][1] / 3);
    auto v = UploadedVertices(mesh);
    auto idx = UploadedIndices(mesh);
    ASSERT_EQ(int(v.size()), sizes[k][0]);
    ASSERT_EQ(int(idx.size()), sizes[k][1]);
    // Every triangle's winding agrees with its vertices' normal: up for faces, outward for walls.
    for (std::size_t t = 0; t < idx.size(); t += 3) {
      ASSERT_LT(idx[t], v.size());
      ASSERT_LT(idx[t + 1], v.size());
      ASSERT_LT(idx[t + 2], v.size());
      const MeshVertex& first = v[idx[t]];
      Vector3 n = FaceNormal(PositionOf(first), PositionOf(v[idx[t + 1]]), PositionOf(v[idx[t + 2]]));
      EXPECT_GT(n.x * first.nx + n.y * first.ny + n.z * first.nz, 0.0f) << "triangle " << t / 3;
    }
  }
  EXPECT_EQ(BallMesh->VertexCount(), 1986);
  EXPECT_EQ(CueMesh->VertexCount(), 32);
  EXPECT_EQ(PocketMesh->VertexCount(), 272);
  EXPECT_EQ(OutlinePoints.size(), 1u);
  EXPECT_EQ(OutlineIndices.size(), 1u);

  // The room floor: a 12.8 square at the floor height.
  for (const MeshVertex& m : UploadedVertices(*TableMeshes[4])) {
    EXPECT_FLOAT_EQ(m.y, -0.4325f);
    EXPECT_FLOAT_EQ(std::fabs(m.x), 6.4f);
    EXPECT_FLOAT_EQ(std::fabs(m.z), 6.4f);
  }
  // Four wall panels 3.2 high, standing on the floor, centred 6.4 from the middle.
  auto panels = UploadedVertices(*TableMeshes[5]);
  for (std::size_t q = 0; q < panels.size(); q += 4) {
    EXPECT_NEAR(panels[q].y, 2.7675f, 1e-6);
    EXPECT_NEAR(panels[q + 1].y, -0.4325f, 1e-6);
    float dx = panels[q + 2].x - panels[q].x, dz = panels[q + 2].z - panels[q].z;
    EXPECT_NEAR(std::hypot(dx, dz), 3.2f, 1e-5);
    float cx = (panels[q].x + panels[q + 2].x) / 2, cz = (panels[q].z + panels[q + 2].z) / 2;
    EXPECT_NEAR(std::hypot(cx, cz), 6.4f, 1e-5);
    // Each faces the middle of the room.
    EXPECT_LT(cx * panels[q].nx + cz * panels[q].nz, 0.0f);
  }
  // The text quad: x -0.4..0.4, y 0.8925..0.9675, z 0.3, set 1 left to right and top to bottom.
  auto text = UploadedVertices(*TableMeshes[6]);
  ASSERT_EQ(text.size(), 4u);
  for (const MeshVertex& m : text) {
    EXPECT_FLOAT_EQ(m.z, 0.3f);
    EXPECT_FLOAT_EQ(m.tu1, m.x < 0 ? 0.0f : 1.0f);
    EXPECT_FLOAT_EQ(std::fabs(m.x), 0.4f);
    EXPECT_FLOAT_EQ(m.tv1, m.y > 0.93f ? 0.0f : 1.0f);
    EXPECT_NEAR(m.y, m.tv1 == 0.0f ? 0.9675f : 0.8925f, 1e-6);
  }
  // The bed: its face lies on the cloth, inside the cushion lines.
  for (const MeshVertex& m : UploadedVertices(*TableMeshes[0])) {
    if (m.ny != 1.0f || m.y != -0.0325f) continue;
    EXPECT_LE(std::fabs(m.x), 1.0f);
    EXPECT_LE(std::fabs(m.z), 0.5f);
  }
}

TEST_F(ModelsTest, CushionOutlineAndPocketPlacement) {
  BuildModels();
  const float outline[24][2] = {
      {-0.95f, 0.5f},  {-1.0f, 0.55f},  {-1.05f, 0.5f},    {-1.0f, 0.45f},       {-1.0f, -0.45f},     {-1.05f, -0.5f},
      {-1.0f, -0.55f}, {-0.95f, -0.5f}, {-0.0375f, -0.5f}, {-0.0375f, -0.5625f}, {0.0375f, -0.5625f}, {0.0375f, -0.5f},
      {0.95f, -0.5f},  {1.0f, -0.55f},  {1.05f, -0.5f},    {1.0f, -0.45f},       {1.0f, 0.45f},       {1.05f, 0.5f},
      {1.0f, 0.55f},   {0.95f, 0.5f},   {0.0375f, 0.5f},   {0.0375f, 0.5625f},   {-0.0375f, 0.5625f}, {-0.0375f, 0.5f}};
  ASSERT_EQ(CushionPointCount, 24);
  ASSERT_EQ(CushionPoints.size(), 24u);
  for (int k = 0; k < 24; ++k) {
    EXPECT_FLOAT_EQ(CushionPoints[k].x, outline[k][0]) << k;
    EXPECT_EQ(CushionPoints[k].y, 0.0f) << k;
    EXPECT_FLOAT_EQ(CushionPoints[k].z, outline[k][1]) << k;
  }

  const float s = 0.70710678f;
  const float directions[6][3] = {{s, 0, -s}, {-s, 0, -s}, {-s, 0, s}, {s, 0, s}, {0, 0, -1}, {0, 0, 1}};
  const float spots[6][3] = {{0.966f, 0.78539824f, -0.466f}, {-0.966f, 2.3561947f, -0.466f},
                             {-0.966f, 3.9269912f, 0.466f},  {0.966f, 5.4977875f, 0.466f},
                             {0.0f, 1.5707965f, -0.5f},      {0.0f, 4.7123895f, 0.5f}};
  const float rims[6][3] = {{1.0f, -0.007f, -0.5f}, {-1.0f, -0.007f, -0.5f},  {-1.0f, -0.007f, 0.5f},
                            {1.0f, -0.007f, 0.5f},  {0.0f, -0.007f, -0.534f}, {0.0f, -0.007f, 0.534f}};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE("pocket " + std::to_string(i));
    // The spots keep their unshifted values; only the rims move out.
    EXPECT_EQ(PocketSpots[i].x, spots[i][0]);
    EXPECT_EQ(PocketSpots[i].y, spots[i][1]);
    EXPECT_EQ(PocketSpots[i].z, spots[i][2]);
    EXPECT_NEAR(PocketDirections[i].x, directions[i][0], 1e-6);
    EXPECT_EQ(PocketDirections[i].y, 0.0f);
    EXPECT_NEAR(PocketDirections[i].z, directions[i][2], 1e-6);
    const Matrix4& m = PocketMatrices[i];
    EXPECT_NEAR(m.m[3][0], rims[i][0], 1e-6);
    EXPECT_FLOAT_EQ(m.m[3][1], rims[i][1]);
    EXPECT_NEAR(m.m[3][2], rims[i][2], 1e-6);
    // The rim's bulge, object (0.05, 0, 0), lies out along the pocket's direction.
    Vector3 bulge{0.05f * m.m[0][0] + m.m[3][0], 0.05f * m.m[0][1] + m.m[3][1], 0.05f * m.m[0][2] + m.m[3][2]};
    EXPECT_NEAR(bulge.x, rims[i][0] + 0.05f * directions[i][0], 1e-6);
    EXPECT_NEAR(bulge.z, rims[i][2] + 0.05f * directions[i][2], 1e-6);
  }
  // The side pockets are not shifted along x at all.
  EXPECT_EQ(PocketMatrices[4].m[3][0], 0.0f);
  EXPECT_EQ(PocketMatrices[5].m[3][0], 0.0f);
  Vector3 p{0.05f * PocketMatrices[4].m[0][0] + PocketMatrices[4].m[3][0],
            0.05f * PocketMatrices[4].m[0][1] + PocketMatrices[4].m[3][1],
            0.05f * PocketMatrices[4].m[0][2] + PocketMatrices[4].m[3][2]};
  EXPECT_NEAR(p.x, 0.0f, 1e-7);
  EXPECT_FLOAT_EQ(p.y, -0.007f);
  EXPECT_FLOAT_EQ(p.z, -0.584f);
}

TEST_F(ModelsTest, WallsDrawTheNoiseInRecordOrderAndRebuildIdentically) {
  const int walls = StreamWalls();
  SeedNoise(0.3f);
  BuildModels();
  const float after = NextNoise();
  auto first = UploadedVertices(*TableMeshes[0]);
  SeedNoise(0.3f);
  for (int k = 0; k < walls; ++k) NextNoise();
  EXPECT_EQ(NextNoise(), after);

  SeedNoise(0.3f);
  BuildModels();
  auto second = UploadedVertices(*TableMeshes[0]);
  ASSERT_EQ(first.size(), second.size());
  EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(MeshVertex)), 0);
}

// The room floor and the text quad, corner by corner in the order they are appended.
TEST_F(ModelsTest, FloorAndTextQuadCornersAndTextureCoordinates) {
  BuildModels();
  // Record 7 at room scale (0.4 per code, code 32 at 0): codes 16 and 48 are -6.4 and 6.4, and the
  // y code runs into -z. Height 99: (99 - 100) x 0.4 - 0.0325 = -0.4325. The square's extents are
  // equal, so tu0 = z x 0.75 and tv0 = x x 0.75 (6.4 x 0.75 = 4.8); set 1 spans its 32 codes.
  struct Corner {
    float x, y, z, tu0, tv0, tu1, tv1;
  };
  const Corner floor[4] = {{-6.4f, -0.4325f, -6.4f, -4.8f, -4.8f, 0, 1},  // (16, 48)
                           {-6.4f, -0.4325f, 6.4f, 4.8f, -4.8f, 0, 0},    // (16, 16)
                           {6.4f, -0.4325f, 6.4f, 4.8f, 4.8f, 1, 0},      // (48, 16)
                           {6.4f, -0.4325f, -6.4f, -4.8f, 4.8f, 1, 1}};   // (48, 48)
  auto v = UploadedVertices(*TableMeshes[4]);
  ASSERT_EQ(v.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE("floor corner " + std::to_string(k));
    EXPECT_FLOAT_EQ(v[k].x, floor[k].x);
    EXPECT_FLOAT_EQ(v[k].y, floor[k].y);
    EXPECT_FLOAT_EQ(v[k].z, floor[k].z);
    EXPECT_EQ(v[k].nx, 0.0f);
    EXPECT_EQ(v[k].ny, 1.0f);
    EXPECT_EQ(v[k].nz, 0.0f);
    EXPECT_FLOAT_EQ(v[k].tu0, floor[k].tu0);
    EXPECT_FLOAT_EQ(v[k].tv0, floor[k].tv0);
    EXPECT_EQ(v[k].tu1, floor[k].tu1);
    EXPECT_EQ(v[k].tv1, floor[k].tv1);
  }
  EXPECT_EQ(UploadedIndices(*TableMeshes[4]), (std::vector<std::uint16_t>{3, 0, 1, 3, 1, 2}));

  // Record 23's one wall, from (160, 104) to (96, 104) between heights 180 and 174 at table scale:
  // x = +-32 x 0.0125 = +-0.4, z = 24 x 0.0125 = 0.3, y = 80 x 0.0125 - 0.0325 = 0.9675 and
  // 74 x 0.0125 - 0.0325 = 0.8925. Corners: the first point at A then B, the next point at A then B,
  // so set 1 ((1, 0), (1, 1), (0, 0), (0, 1)) runs 0..1 from left to right and from the top row down:
  // the text reads upright. Set 0: tu0 = y x 8 (7.74 and 7.14), tv0 from r to r + 0.8 x 8.
  const Corner text[4] = {{0.4f, 0.9675f, 0.3f, 7.74f, 0, 1, 0},
                          {0.4f, 0.8925f, 0.3f, 7.14f, 0, 1, 1},
                          {-0.4f, 0.9675f, 0.3f, 7.74f, 6.4f, 0, 0},
                          {-0.4f, 0.8925f, 0.3f, 7.14f, 6.4f, 0, 1}};
  v = UploadedVertices(*TableMeshes[6]);
  ASSERT_EQ(v.size(), 4u);
  const float r = v[0].tv0;
  EXPECT_GE(r, 0.0f);
  EXPECT_LT(r, 1.0f);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE("text corner " + std::to_string(k));
    EXPECT_FLOAT_EQ(v[k].x, text[k].x);
    EXPECT_NEAR(v[k].y, text[k].y, 1e-6);
    EXPECT_FLOAT_EQ(v[k].z, text[k].z);
    EXPECT_NEAR(v[k].tu0, text[k].tu0, 1e-5);
    EXPECT_NEAR(v[k].tv0, r + text[k].tv0, 1e-5);
    EXPECT_EQ(v[k].tu1, text[k].tu1);
    EXPECT_EQ(v[k].tv1, text[k].tv1);
    // The edge runs along -x, so the normal (-e.z, 0, e.x) is -z: towards the viewer.
    EXPECT_NEAR(v[k].nx, 0.0f, 1e-7);
    EXPECT_NEAR(v[k].ny, 0.0f, 1e-7);
    EXPECT_FLOAT_EQ(v[k].nz, -1.0f);
  }
  EXPECT_EQ(UploadedIndices(*TableMeshes[6]), (std::vector<std::uint16_t>{0, 1, 2, 2, 1, 3}));
}

// Every record appends, to each mesh it feeds, first its face (the points in order) and then one quad
// per walled point in point order, each quad taking the next noise value; records follow in stream order.
TEST_F(ModelsTest, EveryRecordAppendsItsFaceThenItsWallsInPointOrder) {
  SeedNoise(0.6f);
  BuildModels();
  SeedNoise(0.6f);
  const double scale[7] = {0.0125, 0.0125, 0.0125, 0.0125, 0.4, 0.4, 0.0125};
  const int origin[7] = {128, 128, 128, 128, 32, 32, 128};
  std::vector<MeshVertex> meshes[7];
  for (int k = 0; k < 7; ++k) meshes[k] = UploadedVertices(*TableMeshes[k]);
  std::size_t used[7] = {};
  int mismatches = 0;
  std::ostringstream first;
  auto expectAt = [&](int mesh, std::size_t at, const OutlinePoint& p, int height, const std::string& what) {
    const double s = scale[mesh];
    const float x = static_cast<float>((p.x - origin[mesh]) * s);
    const float z = static_cast<float>((origin[mesh] - p.y) * s);
    const float y = static_cast<float>((height - 100) * s - 0.0325f);
    const MeshVertex* m = at < meshes[mesh].size() ? &meshes[mesh][at] : nullptr;
    if (m && std::fabs(m->x - x) < 1e-5f && std::fabs(m->y - y) < 1e-5f && std::fabs(m->z - z) < 1e-5f) return true;
    if (mismatches++ == 0)
      first << what << ": mesh " << mesh << " vertex " << at << " is at " << (m ? m->x : NAN) << ", "
            << (m ? m->y : NAN) << ", " << (m ? m->z : NAN) << ", want " << x << ", " << y << ", " << z;
    return false;
  };
  for (int r = 0; r < 24; ++r) {
    const Record rec = ParseRecord(kRecords[r]);
    const std::string name = "record " + std::to_string(r);
    if (rec.cap != 0) {
      const int mesh = rec.cap - 1;
      for (int k = 0; k < rec.n; ++k)
        expectAt(mesh, used[mesh] + k, rec.points[k], rec.A, name + " face point " + std::to_string(k));
      used[mesh] += rec.n;
    }
    for (int j = 0; j < rec.n; ++j) {
      if (rec.points[j].wall == 0) continue;
      const int mesh = rec.points[j].wall - 1;
      const OutlinePoint& p = rec.points[j];
      const OutlinePoint& q = rec.points[(j + 1) % rec.n];
      const std::string wall = name + " wall " + std::to_string(j);
      const std::size_t base = used[mesh];
      expectAt(mesh, base, p, rec.A, wall + " corner 0");
      expectAt(mesh, base + 1, p, rec.B, wall + " corner 1");
      expectAt(mesh, base + 2, q, rec.A, wall + " corner 2");
      expectAt(mesh, base + 3, q, rec.B, wall + " corner 3");
      const float phase = NextNoise();
      if (base + 1 < meshes[mesh].size() && (meshes[mesh][base].tv0 != phase || meshes[mesh][base + 1].tv0 != phase) &&
          mismatches++ == 0)
        first << wall << ": texture phase " << meshes[mesh][base].tv0 << ", want " << phase;
      used[mesh] += 4;
    }
  }
  EXPECT_EQ(mismatches, 0) << first.str();
  for (int k = 0; k < 7; ++k) EXPECT_EQ(used[k], meshes[k].size()) << "mesh " << k;
}

TEST_F(ModelsTest, EveryModelDrawsAndReleasesInOrder) {
  BuildModels();
  BindDrawingState(Device);
  ASSERT_EQ(Device->BeginScene(), S_OK);
  for (auto& mesh : TableMeshes) EXPECT_EQ(mesh->Draw(), S_OK);
  EXPECT_EQ(BallMesh->Draw(), S_OK);
  EXPECT_EQ(CueMesh->Draw(), S_OK);
  EXPECT_EQ(PocketMesh->Draw(), S_OK);
  ASSERT_EQ(Device->EndScene(), S_OK);
  EXPECT_EQ(gfx.Count("DrawIndexedPrimitive"), 10);
  for (const RecordedCall* c : gfx.CallsNamed("DrawIndexedPrimitive")) EXPECT_EQ(c->result, S_OK);

  std::vector<std::uint32_t> order;
  for (auto& mesh : TableMeshes) order.push_back(RecordingId(mesh->VertexBuffer()));
  order.push_back(RecordingId(PocketMesh->VertexBuffer()));
  order.push_back(RecordingId(CueMesh->VertexBuffer()));
  order.push_back(RecordingId(BallMesh->VertexBuffer()));
  // Unbind so releasing the models frees their buffers at once.
  Device->SetStreamSource(0, nullptr, 0, 0);
  Device->SetIndices(nullptr);
  gfx.ClearLog();
  ReleaseModels();
  std::vector<std::uint32_t> released;
  for (const RecordedCall* c : gfx.CallsNamed("VertexBuffer::Release")) released.push_back(std::uint32_t(c->args[0]));
  EXPECT_EQ(released, order);
  EXPECT_EQ(gfx.Count("IndexBuffer::Release"), 10);
  EXPECT_EQ(BallMesh, nullptr);
  EXPECT_EQ(TableMeshes[6], nullptr);
}

TEST_F(ModelsTest, AFailingDeviceCallIsRaisedAndEarlierModelsStay) {
  // The third index buffer is table mesh 1's, made by its EndBuild after the pocket mesh and table mesh 0.
  gfx.FailCall("CreateIndexBuffer", 3, D3DERR_OUTOFVIDEOMEMORY);
  try {
    BuildModels();
    ADD_FAILURE() << "no error raised";
  } catch (const DeviceError& e) {
    EXPECT_EQ(e.Code(), D3DERR_OUTOFVIDEOMEMORY);
  }
  ASSERT_NE(PocketMesh, nullptr);
  EXPECT_NE(TableMeshes[0]->IndexBuffer(), nullptr);
  EXPECT_EQ(TableMeshes[1]->IndexBuffer(), nullptr);

  gfx.FailCall("CreateVertexBuffer", 1, E_OUTOFMEMORY);
  EXPECT_THROW(BuildModels(), DeviceError);
}

TEST(ModelsWithoutDevice, BuildModelsRaises) {
  ASSERT_EQ(Device, nullptr);
  EXPECT_THROW(BuildModels(), DeviceError);
  ReleaseModels();
}

}  // namespace
}  // namespace kuvo::testing
