// The mesh builder: generator counts and shapes, the append builders, upload, drawing and failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "app/modUtil.h"
#include "geometry/cMesh.h"
#include "platform/Errors.h"
#include "tests/GfxTestSupport.h"

namespace kuvo::testing {
namespace {

using MeshTest = GfxFixture;

double Dot(const Vector3& a, const Vector3& b) { return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z; }

// Every index in range, and every triangle's front face looking away from `inside(triangle centre)`.
template <class InsidePoint>
void ExpectClosedOutwardFaces(const cMesh& mesh, InsidePoint inside) {
  auto v = UploadedVertices(mesh);
  auto idx = UploadedIndices(mesh);
  ASSERT_EQ(idx.size() % 3, 0u);
  for (std::size_t t = 0; t < idx.size(); t += 3) {
    ASSERT_LT(idx[t], v.size());
    ASSERT_LT(idx[t + 1], v.size());
    ASSERT_LT(idx[t + 2], v.size());
    Vector3 a = PositionOf(v[idx[t]]), b = PositionOf(v[idx[t + 1]]), c = PositionOf(v[idx[t + 2]]);
    Vector3 centre{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
    Vector3 in = inside(centre);
    Vector3 out{centre.x - in.x, centre.y - in.y, centre.z - in.z};
    EXPECT_GT(Dot(FaceNormal(a, b, c), out), 0.0) << "triangle " << t / 3;
  }
}

TEST_F(MeshTest, SphereCountsRingsPolesAndFaces) {
  cMesh mesh;
  mesh.BuildSphere(64, 32, 0.0325f);
  EXPECT_EQ(mesh.VertexCount(), 1986);
  EXPECT_EQ(mesh.TriangleCount(), 3968);
  EXPECT_EQ(mesh.IndexCount(), 11904);
  EXPECT_EQ(mesh.Stride(), 40);
  EXPECT_EQ(mesh.Vertices().size(), 1u);
  EXPECT_EQ(mesh.Indices().size(), 1u);

  auto v = UploadedVertices(mesh);
  ASSERT_EQ(v.size(), 1986u);
  EXPECT_EQ(UploadedIndices(mesh).size(), 11904u);
  // North pole, then 31 rings from 84.375 degrees down to -84.375 in steps of 5.625, then the south pole.
  EXPECT_FLOAT_EQ(v[0].y, 0.0325f);
  EXPECT_FLOAT_EQ(v[0].tu1, 0.5f);
  EXPECT_FLOAT_EQ(v[0].tv1, 0.5f);
  for (int i = 1; i <= 31; ++i) {
    for (int j = 0; j < 64; j += 21) {
      const MeshVertex& r = v[1 + (i - 1) * 64 + j];
      double latitude = std::asin(r.ny) * 180.0 / M_PI;
      EXPECT_NEAR(latitude, 90.0 - 5.625 * i, 1e-4) << "ring " << i;
      EXPECT_NEAR(std::atan2(r.nx, r.nz) * 180.0 / M_PI, (j <= 32 ? j : j - 64) * 5.625, 1e-4);
      EXPECT_NEAR(std::hypot(r.x, r.y, r.z), 0.0325, 1e-7);
      EXPECT_FLOAT_EQ(r.tu1, 0.5f + 0.5f * r.nx);
      EXPECT_FLOAT_EQ(r.tv1, 0.5f + 0.5f * r.nz);
      EXPECT_EQ(r.tu0, 0.0f);
    }
  }
  const MeshVertex& south = v[1985];
  EXPECT_FLOAT_EQ(south.y, -0.0325f);
  EXPECT_FLOAT_EQ(south.ny, -1.0f);
  EXPECT_EQ(south.tu1, 0.0f);
  EXPECT_EQ(south.tv1, 0.0f);
  auto idx = UploadedIndices(mesh);
  // The top fan starts at the pole, the bottom fan at the last vertex.
  EXPECT_EQ(idx[0], 0);
  EXPECT_EQ(idx[1], 1);
  EXPECT_EQ(idx[2], 2);
  EXPECT_EQ(idx[3 * 63 + 2], 1);
  EXPECT_EQ(idx[11904 - 3], 1985);
  ExpectClosedOutwardFaces(mesh, [](const Vector3&) { return Vector3{0, 0, 0}; });
}

TEST_F(MeshTest, HalfTorusCountsShapeAndFaces) {
  cMesh mesh;
  mesh.BuildHalfTorus(16, 16, 0.05f, 0.01f);
  EXPECT_EQ(mesh.VertexCount(), 272);
  EXPECT_EQ(mesh.TriangleCount(), 512);
  EXPECT_EQ(mesh.IndexCount(), 1536);
  auto v = UploadedVertices(mesh);
  ASSERT_EQ(v.size(), 272u);
  // theta = 0 is the +z end, theta = pi/2 the +x middle (vertex ring 8), theta = pi the -z end.
  EXPECT_NEAR(v[0].x, 0.0f, 1e-7);
  EXPECT_NEAR(v[0].y, 0.01f, 1e-7);
  EXPECT_NEAR(v[0].z, 0.05f, 1e-7);
  const MeshVertex& bulge = v[8 * 16 + 4];  // psi = pi/2: the outermost point
  EXPECT_NEAR(bulge.x, 0.06f, 1e-6);
  EXPECT_NEAR(bulge.y, 0.0f, 1e-6);
  EXPECT_NEAR(bulge.z, 0.0f, 1e-6);
  EXPECT_NEAR(bulge.nx, 1.0f, 1e-6);
  EXPECT_NEAR(v[16 * 16].z, -0.05f, 1e-6);
  for (const MeshVertex& m : v) {
    EXPECT_NEAR(std::hypot(m.nx, m.ny, m.nz), 1.0, 1e-6);
    EXPECT_EQ(m.tu0 + m.tv0 + m.tu1 + m.tv1, 0.0f);
  }
  // Faces look away from the tube's centre line, the circle of radius 0.05.
  ExpectClosedOutwardFaces(mesh, [](const Vector3& p) {
    double k = 0.05 / std::hypot(p.x, p.z);
    return Vector3{float(p.x * k), 0.0f, float(p.z * k)};
  });
}

TEST_F(MeshTest, TaperedCylinderCountsShapeAndFaces) {
  cMesh mesh;
  mesh.BuildTaperedCylinder(16, 0.0125f, 0.005f, 1.6f);
  EXPECT_EQ(mesh.VertexCount(), 32);
  EXPECT_EQ(mesh.TriangleCount(), 60);
  EXPECT_EQ(mesh.IndexCount(), 180);
  auto v = UploadedVertices(mesh);
  ASSERT_EQ(v.size(), 32u);
  for (int i = 0; i < 16; ++i) {
    const MeshVertex& back = v[2 * i];
    const MeshVertex& front = v[2 * i + 1];
    EXPECT_FLOAT_EQ(back.z, -1.6f);
    EXPECT_EQ(front.z, 0.0f);
    EXPECT_NEAR(std::hypot(back.x, back.y), 0.0125, 1e-8);
    EXPECT_NEAR(std::hypot(front.x, front.y), 0.005, 1e-8);
    // Unnormalised normals tilted back at the butt and forward at the tip.
    EXPECT_FLOAT_EQ(back.nz, -0.1f);
    EXPECT_FLOAT_EQ(front.nz, 0.1f);
    EXPECT_NEAR(std::hypot(back.nx, back.ny), 1.0, 1e-6);
    EXPECT_FLOAT_EQ(back.tu0, i / 16.0f);
    EXPECT_EQ(back.tv0, 0.0f);
    EXPECT_EQ(front.tv0, 7.0f);
    EXPECT_EQ(front.tv1, 1.0f);
  }
  EXPECT_FLOAT_EQ(v[2 * 4].x, 0.0125f);  // t = quarter turn: (a sin t, a cos t) = (a, 0)
  // Side faces look away from the axis; the caps look along -z at the butt and +z at the tip.
  ExpectClosedOutwardFaces(mesh, [](const Vector3& p) {
    if (p.z == -1.6f) return Vector3{p.x, p.y, 0.0f};
    if (p.z == 0.0f) return Vector3{p.x, p.y, -1.0f};
    return Vector3{0.0f, 0.0f, p.z};
  });
}

TEST_F(MeshTest, FlatPolygonsAppendWithOffsetIndicesAndTextureSets) {
  cMesh mesh;
  ASSERT_EQ(mesh.BeginBuild(4.0f, 0.0125f, 128), S_OK);
  const OutlinePoint triangle[3] = {{128, 128, 0}, {136, 128, 0}, {128, 132, 0}};
  const std::int16_t order[3] = {0, 1, 2};
  mesh.AddFlatPolygon(triangle, 3, order, 3, 100);
  mesh.AddFlatPolygon(triangle, 3, order, 3, 100);
  EXPECT_EQ(mesh.VertexCount(), 6);
  EXPECT_EQ(mesh.IndexCount(), 6);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(mesh.Indices()[k], k);
    const MeshVertex& v = mesh.Vertices()[k];
    EXPECT_FLOAT_EQ(v.y, -0.0325f);
    EXPECT_EQ(v.nx, 0.0f);
    EXPECT_EQ(v.ny, 1.0f);
    EXPECT_EQ(v.nz, 0.0f);
  }
  // World mapping: x = (code - 128) * 0.0125, z = (128 - code) * 0.0125. The triangle is wider than
  // tall, so tv0 runs along x; set 1 maps the bounding box onto 0..1.
  const MeshVertex& b = mesh.Vertices()[1];
  const MeshVertex& c = mesh.Vertices()[2];
  EXPECT_FLOAT_EQ(b.x, 0.1f);
  EXPECT_FLOAT_EQ(c.z, -0.05f);
  EXPECT_FLOAT_EQ(b.tv0, 0.4f);
  EXPECT_FLOAT_EQ(c.tu0, -0.2f);
  EXPECT_EQ(b.tu1, 1.0f);
  EXPECT_EQ(b.tv1, 0.0f);
  EXPECT_EQ(c.tu1, 0.0f);
  EXPECT_EQ(c.tv1, 1.0f);

  // A square has equal extents and takes the first branch: tu0 = z * ScTex, tv0 = x * ScTex.
  const OutlinePoint square[4] = {{130, 120, 0}, {140, 120, 0}, {140, 130, 0}, {130, 130, 0}};
  const std::int16_t squareOrder[6] = {3, 0, 1, 3, 1, 2};
  mesh.AddFlatPolygon(square, 4, squareOrder, 6, 104);
  const MeshVertex& s = mesh.Vertices()[7];
  EXPECT_FLOAT_EQ(s.y, 4 * 0.0125f - 0.0325f);
  EXPECT_FLOAT_EQ(s.tu0, s.z * 4.0f);
  EXPECT_FLOAT_EQ(s.tv0, s.x * 4.0f);
  EXPECT_EQ(mesh.Indices()[6], 9);
  EXPECT_EQ(mesh.Indices()[11], 8);
  // A taller than wide outline swaps them so tv0 still runs along the longer side.
  const OutlinePoint tall[3] = {{130, 120, 0}, {132, 120, 0}, {130, 140, 0}};
  mesh.AddFlatPolygon(tall, 3, order, 3, 100);
  const MeshVertex& t = mesh.Vertices()[11];
  EXPECT_FLOAT_EQ(t.tu0, t.x * 4.0f);
  EXPECT_FLOAT_EQ(t.tv0, t.z * 4.0f);

  ASSERT_EQ(mesh.EndBuild(), S_OK);
  EXPECT_EQ(mesh.TriangleCount(), 5);
  auto uploaded = UploadedIndices(mesh);
  ASSERT_EQ(uploaded.size(), 15u);
  EXPECT_EQ(uploaded[3], 3);
  EXPECT_EQ(uploaded[5], 5);
}

TEST_F(MeshTest, WallQuadCornersNormalAndTexturePhase) {
  // The first wall of a cushion record: (125, 88) to (52, 88), heights 103 and 98.
  const OutlinePoint cushion[4] = {{125, 88, 1}, {52, 88, 1}, {50, 86, 0}, {125, 86, 1}};
  cMesh mesh;
  ASSERT_EQ(mesh.BeginBuild(4.0f, 0.0125f, 128), S_OK);
  SeedNoise(0.25f);
  const float r = NextNoise();
  SeedNoise(0.25f);
  mesh.AddWallQuad(cushion, 0, 4, 103, 98);
  ASSERT_EQ(mesh.VertexCount(), 4);
  ASSERT_EQ(mesh.IndexCount(), 6);
  const MeshVertex* v = mesh.Vertices().data();
  const float top = 3 * 0.0125f - 0.0325f;      // 0.005
  const float bottom = -2 * 0.0125f - 0.0325f;  // -0.0575
  EXPECT_FLOAT_EQ(v[0].x, -0.0375f);
  EXPECT_FLOAT_EQ(v[2].x, -0.95f);
  for (int k = 0; k < 4; ++k) {
    EXPECT_FLOAT_EQ(v[k].z, 0.5f);
    EXPECT_FLOAT_EQ(v[k].y, k % 2 == 0 ? top : bottom);
    EXPECT_FLOAT_EQ(v[k].tu0, v[k].y * 4.0f);
    // Faces the middle of the bed.
    EXPECT_NEAR(v[k].nx, 0.0f, 1e-7);
    EXPECT_NEAR(v[k].ny, 0.0f, 1e-7);
    EXPECT_FLOAT_EQ(v[k].nz, -1.0f);
  }
  EXPECT_GE(r, 0.0f);
  EXPECT_LT(r, 1.0f);
  EXPECT_EQ(v[0].tv0, r);
  EXPECT_EQ(v[1].tv0, r);
  EXPECT_NEAR(v[2].tv0, r + 0.9125f * 4, 1e-5);
  EXPECT_EQ(v[3].tv0, v[2].tv0);
  const float set1[4][2] = {{1, 0}, {1, 1}, {0, 0}, {0, 1}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(v[k].tu1, set1[k][0]);
    EXPECT_EQ(v[k].tv1, set1[k][1]);
  }
  const std::int16_t order[6] = {0, 1, 2, 2, 1, 3};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(mesh.Indices()[k], order[k]);

  // The last point's wall closes the outline back to point 0, and its quad starts at vertex 4.
  mesh.AddWallQuad(cushion, 3, 4, 103, 98);
  EXPECT_EQ(mesh.Indices()[6], 4);
  EXPECT_FLOAT_EQ(mesh.Vertices()[6].x, -0.0375f);
  EXPECT_FLOAT_EQ(mesh.Vertices()[6].z, 0.5f);
  EXPECT_FLOAT_EQ(mesh.Vertices()[4].nx, 1.0f);  // the edge runs along +z in world: its normal is +x
}

TEST_F(MeshTest, OutlinesThatDivideByZeroRaise) {
  cMesh mesh;
  ASSERT_EQ(mesh.BeginBuild(4.0f, 0.0125f, 128), S_OK);
  const OutlinePoint flat[3] = {{10, 20, 0}, {30, 20, 0}, {50, 20, 0}};
  const std::int16_t order[3] = {0, 1, 2};
  EXPECT_THROW(mesh.AddFlatPolygon(flat, 3, order, 3, 100), FloatingPointError);
  const OutlinePoint upright[3] = {{10, 20, 0}, {10, 30, 0}, {10, 50, 0}};
  EXPECT_THROW(mesh.AddFlatPolygon(upright, 3, order, 3, 100), FloatingPointError);
  const OutlinePoint repeated[3] = {{10, 20, 1}, {10, 20, 1}, {40, 50, 1}};
  EXPECT_THROW(mesh.AddWallQuad(repeated, 0, 3, 103, 98), FloatingPointError);
  EXPECT_NO_THROW(mesh.AddWallQuad(repeated, 1, 3, 103, 98));
  EXPECT_EQ(mesh.VertexCount(), 4);
}

TEST_F(MeshTest, AppendBuildGrowsPastItsStartingBounds) {
  cMesh mesh;
  ASSERT_EQ(mesh.BeginBuild(4.0f, 0.0125f, 128), S_OK);
  EXPECT_EQ(mesh.Vertices().size(), 1024u);
  EXPECT_EQ(mesh.Indices().size(), 2048u);
  const OutlinePoint quad[2] = {{10, 10, 1}, {20, 10, 1}};
  for (int i = 0; i < 400; ++i) mesh.AddWallQuad(quad, 0, 2, 103, 98);
  ASSERT_EQ(mesh.EndBuild(), S_OK);
  EXPECT_EQ(mesh.VertexCount(), 1600);
  auto idx = UploadedIndices(mesh);
  ASSERT_EQ(idx.size(), 2400u);
  EXPECT_EQ(idx[2399], 1599);
  // A second BeginBuild starts over.
  ASSERT_EQ(mesh.BeginBuild(4.0f, 0.0125f, 128), S_OK);
  EXPECT_EQ(mesh.VertexCount(), 0);
  EXPECT_EQ(mesh.IndexCount(), 0);
}

TEST_F(MeshTest, UploadCreatesManagedBuffersOfExactSize) {
  cMesh mesh;
  mesh.BuildTaperedCylinder(16, 0.0125f, 0.005f, 1.6f);
  EXPECT_EQ(gfx.Names(),
            (std::vector<std::string_view>{"Device::CreateVertexBuffer", "VertexBuffer::Lock", "VertexBuffer::Unlock",
                                           "Device::CreateIndexBuffer", "IndexBuffer::Lock", "IndexBuffer::Unlock"}));
  const auto& calls = gfx.Calls();
  EXPECT_EQ(calls[0].args, (std::vector<double>{32 * 40, 0, 0x212, D3DPOOL_MANAGED, 0}));
  EXPECT_EQ(calls[1].args, (std::vector<double>{double(calls[0].created), 0, 32 * 40, 0}));
  EXPECT_EQ(calls[3].args, (std::vector<double>{180 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, 0}));

  EXPECT_EQ(RecordingId(mesh.VertexBuffer()), calls[0].created);

  // Building again releases the first buffers; destruction releases the second.
  {
    cMesh rebuilt;
    rebuilt.BuildSphere(8, 4, 1.0f);
    rebuilt.BuildSphere(8, 4, 1.0f);
    EXPECT_EQ(gfx.Count("VertexBuffer::Release"), 1);
    EXPECT_EQ(gfx.Count("IndexBuffer::Release"), 1);
  }
  EXPECT_EQ(gfx.Count("VertexBuffer::Release"), 2);
  EXPECT_EQ(gfx.Count("IndexBuffer::Release"), 2);
}

TEST_F(MeshTest, DrawIssuesExactlyThreeCalls) {
  cMesh mesh;
  mesh.BuildSphere(64, 32, 0.0325f);
  BindDrawingState(Device);
  gfx.ClearLog();
  ASSERT_EQ(mesh.Draw(), S_OK);
  ASSERT_EQ(gfx.Calls().size(), 3u);
  const auto& c = gfx.Calls();
  EXPECT_EQ(c[0].name, "Device::SetStreamSource");
  EXPECT_EQ(c[0].args, (std::vector<double>{0, double(RecordingId(mesh.VertexBuffer())), 0, 40}));
  EXPECT_EQ(c[1].name, "Device::SetIndices");
  EXPECT_EQ(c[1].args, (std::vector<double>{double(RecordingId(mesh.IndexBuffer()))}));
  EXPECT_EQ(c[2].name, "Device::DrawIndexedPrimitive");
  EXPECT_EQ(c[2].args, (std::vector<double>{D3DPT_TRIANGLELIST, 0, 0, 1986, 0, 3968}));
  EXPECT_EQ(c[2].result, S_OK);

  // A failing call ends the draw with its code.
  gfx.FailCall("SetIndices", 1, D3DERR_INVALIDCALL);
  gfx.ClearLog();
  EXPECT_EQ(mesh.Draw(), D3DERR_INVALIDCALL);
  EXPECT_EQ(gfx.Names(), (std::vector<std::string_view>{"Device::SetStreamSource", "Device::SetIndices"}));
  // A mesh never uploaded has nothing the device can draw.
  cMesh empty;
  EXPECT_EQ(empty.Draw(), D3DERR_INVALIDCALL);
}

TEST_F(MeshTest, FailingUploadCallsBecomeTheStatusOrTheError) {
  const OutlinePoint triangle[3] = {{128, 128, 0}, {136, 128, 0}, {128, 132, 0}};
  const std::int16_t order[3] = {0, 1, 2};
  struct Case {
    const char* call;
    long occurrence;
  };
  for (Case c : {Case{"CreateVertexBuffer", 1}, Case{"VertexBuffer::Lock", 1}, Case{"VertexBuffer::Unlock", 1},
                 Case{"CreateIndexBuffer", 1}, Case{"Lock", 2}, Case{"IndexBuffer::Unlock", 1}}) {
    SCOPED_TRACE(c.call);
    cMesh mesh;
    ASSERT_EQ(mesh.BeginBuild(4.0f, 0.0125f, 128), S_OK);
    mesh.AddFlatPolygon(triangle, 3, order, 3, 100);
    gfx.FailCall(c.call, c.occurrence, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(mesh.EndBuild(), D3DERR_OUTOFVIDEOMEMORY);
    gfx.ClearFailures();
  }
  // The whole-mesh builders raise the failing call instead.
  cMesh sphere;
  gfx.FailCall("IndexBuffer::Lock", 1, E_OUTOFMEMORY);
  try {
    sphere.BuildSphere(64, 32, 0.0325f);
    ADD_FAILURE() << "no error raised";
  } catch (const DeviceError& e) {
    EXPECT_EQ(e.Code(), E_OUTOFMEMORY);
    EXPECT_EQ(e.Call(), "IndexBuffer::Lock");
  }
}

TEST(MeshWithoutDevice, GeometryIsBuiltAndTheUploadRaises) {
  ASSERT_EQ(Device, nullptr);
  cMesh mesh;
  const OutlinePoint triangle[3] = {{128, 128, 0}, {136, 128, 0}, {128, 132, 0}};
  const std::int16_t order[3] = {0, 1, 2};
  ASSERT_EQ(mesh.BeginBuild(4.0f, 0.0125f, 128), S_OK);
  mesh.AddFlatPolygon(triangle, 3, order, 3, 100);
  EXPECT_EQ(mesh.VertexCount(), 3);
  EXPECT_LT(mesh.EndBuild(), 0);
  EXPECT_THROW(mesh.BuildSphere(8, 4, 1.0f), DeviceError);
  // The arrays the upload would have used are complete.
  EXPECT_EQ(mesh.VertexCount(), 26);
  EXPECT_EQ(mesh.Indices().size(), 144u);
  EXPECT_THROW(mesh.BuildSphere(0, 4, 1.0f), std::invalid_argument);
  EXPECT_THROW(mesh.BuildTaperedCylinder(1, 1.0f, 1.0f, 1.0f), std::invalid_argument);
}

}  // namespace
}  // namespace kuvo::testing
