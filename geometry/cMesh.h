// The one drawable-geometry class: a vertex buffer and a 16-bit index buffer drawn as a triangle list,
// filled either from outline codes (BeginBuild, AddFlatPolygon, AddWallQuad, EndBuild) or by one
// parametric generator (BuildSphere, BuildHalfTorus, BuildTaperedCylinder).
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "platform/Types.h"

namespace kuvo {

class GfxVertexBuffer;
class GfxIndexBuffer;

// The fixed-function layout XYZ | NORMAL | TEX2 (FVF 0x212); the draw passes bind a declaration of the
// same four elements.
struct MeshVertex {
  float x, y, z;
  float nx, ny, nz;  // not always unit length
  float tu0, tv0;
  float tu1, tv1;
};
static_assert(sizeof(MeshVertex) == 40);

// A point of an outline on the byte grid: x code to the right, y code upward, and the mesh number
// (1..7, 0 = none) that gets the wall from this point to the next.
struct OutlinePoint {
  std::uint8_t x, y, wall;
};
static_assert(sizeof(OutlinePoint) == 3);

// Outline codes map to world x = (x − Offs) × ScSz, z = (Offs − y) × ScSz, and a height code h to
// y = (h − 100) × ScSz − 0.0325, so height 100 is the cloth one ball radius below the ball centres.
//
// BeginBuild, EndBuild and Draw return the failing call's code (0 on success); the other operations
// raise kuvo::DeviceError for a failing device call and kuvo::FloatingPointError for an outline that
// would divide by zero. The device is the global Device (app/modMain.h).
class cMesh {
 public:
  cMesh() = default;
  ~cMesh();  // releases both buffers
  cMesh(const cMesh&) = delete;
  cMesh& operator=(const cMesh&) = delete;

  HRESULT BeginBuild(float ScTex, float ScSz, std::int32_t Offs);
  HRESULT EndBuild();
  HRESULT Draw();

  // A horizontal face at height code `height`, facing up; `triangleIndices` refer to points 0..n−1.
  void AddFlatPolygon(std::span<const OutlinePoint> points, std::int32_t n,
                      std::span<const std::int16_t> triangleIndices, std::int32_t m, std::uint8_t height);
  // The vertical rectangle along the edge from point j to point (j + 1) mod n, between heights A and B.
  void AddWallQuad(std::span<const OutlinePoint> points, std::int32_t j, std::int32_t n, std::uint8_t A,
                   std::uint8_t B);
  // Half a ring on the +x side, from the +z end round to the −z end.
  void BuildHalfTorus(std::int32_t sweepSteps, std::int32_t tubeSegments, float majorRadius, float tubeRadius);
  // A closed truncated cone along z, radius `backRadius` at z = −length, `frontRadius` at z = 0.
  void BuildTaperedCylinder(std::int32_t sides, float backRadius, float frontRadius, float length);
  void BuildSphere(std::int32_t segments, std::int32_t rings, float radius);
  // Creates and fills the device buffers from the build arrays, then drops the arrays.
  void UploadBuffers();
  static void MakeVertex(float x, float y, float z, float nx, float ny, float nz, float tu0, float tv0, float tu1,
                         float tv1, MeshVertex& destination);

  GfxVertexBuffer* VertexBuffer() const { return vertexBuffer; }
  GfxIndexBuffer* IndexBuffer() const { return indexBuffer; }
  // The build arrays: the mesh while it is being built, one element each after the upload.
  const std::vector<MeshVertex>& Vertices() const { return vertices; }
  const std::vector<std::int16_t>& Indices() const { return indices; }
  std::int32_t Stride() const { return stride; }
  std::int32_t VertexCount() const { return vertexCount; }
  std::int32_t TriangleCount() const { return triangleCount; }
  std::int32_t IndexCount() const { return indexCount; }

 private:
  // Room for `extraVertices` and `extraIndices` more; an append build starts with 1024 and 2048.
  void Reserve(std::int32_t extraVertices, std::int32_t extraIndices);
  // Re-creates both arrays for a whole-mesh build of the given counts.
  void StartWholeMesh(std::int64_t vertexTotal, std::int64_t triangleTotal);
  float WorldX(std::uint8_t code) const;
  float WorldZ(std::uint8_t code) const;
  float WorldY(std::uint8_t height) const;

  GfxVertexBuffer* vertexBuffer = nullptr;
  GfxIndexBuffer* indexBuffer = nullptr;
  std::vector<MeshVertex> vertices = std::vector<MeshVertex>(1);
  std::vector<std::int16_t> indices = std::vector<std::int16_t>(1);
  std::int32_t stride = 0;
  std::int32_t vertexCount = 0;
  std::int32_t triangleCount = 0;
  std::int32_t indexCount = 0;
  float ScTex = 0.0f;
  float ScSz = 0.0f;
  std::int32_t Offs = 0;
};

}  // namespace kuvo
