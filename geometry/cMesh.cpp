// The mesh builder: geometry generation on plain arrays, then one upload into managed device buffers.
#include "geometry/cMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "app/modMain.h"
#include "app/modUtil.h"
#include "physics/modMath.h"
#include "platform/Errors.h"
#include "platform/Gfx.h"

namespace kuvo {

namespace {

// Height code 100 lies one ball radius below the ball centres.
constexpr float kBallRadius = 0.0325f;
// Single-precision values on purpose (3.1415929794 and 6.2831859589): the meshes are built from these,
// not from full-precision pi.
constexpr float kPi = 3.141593f;
constexpr float kTwoPi = 6.283186f;

constexpr std::int32_t kVertexBytes = 40;
constexpr std::uint32_t kMeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2;
static_assert(kMeshFvf == 0x212);

constexpr std::int32_t kAppendVertices = 1024;
constexpr std::int32_t kAppendIndices = 2048;
// 16-bit indices reach 65 536 vertices.
constexpr std::int64_t kMaxVertices = 65536;

// Indices are stored as signed 16-bit words and read by the device as unsigned ones.
std::int16_t Index16(std::int64_t v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v)); }

// Runs a public operation: a failing device call becomes its code, as the status the callers test.
template <class Operation>
HRESULT StatusOf(Operation operation) {
  try {
    operation();
    return S_OK;
  } catch (const DeviceError& e) {
    return e.Code();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

GfxDevice& RequireDevice(const char* call) {
  if (!Device) throw DeviceError(call, D3DERR_INVALIDCALL);
  return *Device;
}

}  // namespace

cMesh::~cMesh() {
  if (vertexBuffer) vertexBuffer->Release();
  if (indexBuffer) indexBuffer->Release();
}

void cMesh::MakeVertex(float x, float y, float z, float nx, float ny, float nz, float tu0, float tv0, float tu1,
                       float tv1, MeshVertex& destination) {
  destination = MeshVertex{x, y, z, nx, ny, nz, tu0, tv0, tu1, tv1};
}

float cMesh::WorldX(std::uint8_t code) const {
  return static_cast<float>(static_cast<double>(code - Offs) * static_cast<double>(ScSz));
}

float cMesh::WorldZ(std::uint8_t code) const {
  return static_cast<float>(static_cast<double>(Offs - code) * static_cast<double>(ScSz));
}

float cMesh::WorldY(std::uint8_t height) const {
  return static_cast<float>(static_cast<double>(height - 100) * static_cast<double>(ScSz) -
                            static_cast<double>(kBallRadius));
}

// ---- Append-style builds ----

HRESULT cMesh::BeginBuild(float scTex, float scSz, std::int32_t offs) {
  return StatusOf([&] {
    ScTex = scTex;
    ScSz = scSz;
    Offs = offs;
    vertices.assign(kAppendVertices, MeshVertex{});
    indices.assign(kAppendIndices, 0);
    vertexCount = 0;
    triangleCount = 0;
    indexCount = 0;
  });
}

void cMesh::Reserve(std::int32_t extraVertices, std::int32_t extraIndices) {
  std::int64_t needVertices = std::int64_t{vertexCount} + extraVertices;
  std::int64_t needIndices = std::int64_t{indexCount} + extraIndices;
  if (needVertices > kMaxVertices) throw std::length_error("cMesh: more than 65536 vertices");
  // The build arrays grow on demand rather than stopping at 1024 vertices and 2048 indices.
  if (needVertices > static_cast<std::int64_t>(vertices.size()))
    vertices.resize(std::max<std::size_t>(needVertices, 2 * vertices.size()));
  if (needIndices > static_cast<std::int64_t>(indices.size()))
    indices.resize(std::max<std::size_t>(needIndices, 2 * indices.size()));
}

void cMesh::AddFlatPolygon(std::span<const OutlinePoint> points, std::int32_t n,
                           std::span<const std::int16_t> triangleIndices, std::int32_t m, std::uint8_t height) {
  if (n < 1 || static_cast<std::size_t>(n) > points.size() || m < 0 ||
      static_cast<std::size_t>(m) > triangleIndices.size())
    throw std::invalid_argument("AddFlatPolygon: counts outside the arrays given");
  int minX = 255, maxX = 0, minY = 255, maxY = 0;
  for (std::int32_t k = 0; k < n; ++k) {
    minX = std::min<int>(minX, points[k].x);
    maxX = std::max<int>(maxX, points[k].x);
    minY = std::min<int>(minY, points[k].y);
    maxY = std::max<int>(maxY, points[k].y);
  }
  const int xRange = maxX - minX;
  const int yRange = maxY - minY;
  // Texture set 1 divides by both extents.
  if (xRange == 0 || yRange == 0)
    throw FloatingPointError("AddFlatPolygon (division by zero: an outline with no extent in x or y)");
  Reserve(n, m);

  const float y = WorldY(height);
  for (std::int32_t k = 0; k < n; ++k) {
    const OutlinePoint& p = points[k];
    const float x = WorldX(p.x);
    const float z = WorldZ(p.y);
    // tv0 runs along the longer side, along x on a tie.
    const bool alongX = xRange >= yRange;
    const float tu0 = (alongX ? z : x) * ScTex;
    const float tv0 = (alongX ? x : z) * ScTex;
    const float tu1 = static_cast<float>(static_cast<double>(p.x - minX) / xRange);
    const float tv1 = static_cast<float>(static_cast<double>(p.y - minY) / yRange);
    MakeVertex(x, y, z, 0.0f, 1.0f, 0.0f, tu0, tv0, tu1, tv1, vertices[vertexCount + k]);
  }
  for (std::int32_t k = 0; k < m; ++k) indices[indexCount + k] = Index16(triangleIndices[k] + vertexCount);
  vertexCount += n;
  indexCount += m;
}

void cMesh::AddWallQuad(std::span<const OutlinePoint> points, std::int32_t j, std::int32_t n, std::uint8_t A,
                        std::uint8_t B) {
  if (n < 1 || static_cast<std::size_t>(n) > points.size() || j < 0 || j >= n)
    throw std::invalid_argument("AddWallQuad: point outside the outline");
  const OutlinePoint& P = points[j];
  const OutlinePoint& Q = points[(j + 1) % n];
  const float y0 = WorldY(A);
  const float y1 = WorldY(B);
  const Vector3 corner0{WorldX(P.x), y0, WorldZ(P.y)};
  const Vector3 corner2{WorldX(Q.x), y0, WorldZ(Q.y)};
  Vector3 e;
  VecSubtract(e, corner2, corner0);
  // The normal normalises the edge turned flat; a zero edge would divide by zero.
  if (e.x == 0.0f && e.z == 0.0f)
    throw FloatingPointError("AddWallQuad (division by zero: two equal consecutive outline points)");
  Reserve(4, 6);

  const float L = VecLength(e);
  const float r = NextNoise();
  const float tvEnd = r + L * ScTex;
  const Vector3 up{0.0f, 1.0f, 0.0f};
  Vector3 normal;
  VecCross(normal, e, up);
  VecNormalize(normal, normal);

  const std::int32_t base = vertexCount;
  MakeVertex(corner0.x, y0, corner0.z, normal.x, normal.y, normal.z, y0 * ScTex, r, 1.0f, 0.0f, vertices[base]);
  MakeVertex(corner0.x, y1, corner0.z, normal.x, normal.y, normal.z, y1 * ScTex, r, 1.0f, 1.0f, vertices[base + 1]);
  MakeVertex(corner2.x, y0, corner2.z, normal.x, normal.y, normal.z, y0 * ScTex, tvEnd, 0.0f, 0.0f, vertices[base + 2]);
  MakeVertex(corner2.x, y1, corner2.z, normal.x, normal.y, normal.z, y1 * ScTex, tvEnd, 0.0f, 1.0f, vertices[base + 3]);
  const std::int32_t order[6] = {0, 1, 2, 2, 1, 3};
  for (int k = 0; k < 6; ++k) indices[indexCount + k] = Index16(base + order[k]);
  vertexCount += 4;
  indexCount += 6;
}

HRESULT cMesh::EndBuild() {
  return StatusOf([&] {
    triangleCount = indexCount / 3;
    UploadBuffers();
  });
}

// ---- Whole-mesh builds ----

void cMesh::StartWholeMesh(std::int64_t vertexTotal, std::int64_t triangleTotal) {
  if (vertexTotal > kMaxVertices) throw std::length_error("cMesh: more than 65536 vertices");
  vertexCount = static_cast<std::int32_t>(vertexTotal);
  triangleCount = static_cast<std::int32_t>(triangleTotal);
  indexCount = 3 * triangleCount;
  vertices.assign(vertexCount, MeshVertex{});
  indices.assign(indexCount, 0);
}

void cMesh::BuildSphere(std::int32_t segments, std::int32_t rings, float radius) {
  const std::int32_t S = segments;
  const std::int32_t R = rings;
  if (S < 1 || R < 2 || S > kMaxVertices || R > kMaxVertices)
    throw std::invalid_argument("BuildSphere: needs at least 1 segment and 2 rings");
  StartWholeMesh(std::int64_t{S} * (R - 1) + 2, 2 * std::int64_t{S} * (R - 1));

  MakeVertex(0.0f, radius, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.5f, vertices[0]);
  for (std::int32_t i = 1; i <= R - 1; ++i) {
    const double phi = (R / 2.0 - i) * static_cast<double>(kPi) / R;
    const float sinPhi = static_cast<float>(std::sin(phi));
    const float cosPhi = static_cast<float>(std::cos(phi));
    for (std::int32_t j = 0; j < S; ++j) {
      const double lambda = 2.0 * j * static_cast<double>(kPi) / S;
      const float sinLambda = static_cast<float>(std::sin(lambda));
      const float cosLambda = static_cast<float>(std::cos(lambda));
      const Vector3 n{sinLambda * cosPhi, sinPhi, cosLambda * cosPhi};
      // Texture set 1 is the view from above, which the shadow pass relies on.
      MakeVertex(radius * n.x, radius * n.y, radius * n.z, n.x, n.y, n.z, 0.0f, 0.0f, 0.5f + 0.5f * n.x,
                 0.5f + 0.5f * n.z, vertices[1 + (i - 1) * S + j]);
    }
  }
  const std::int32_t last = vertexCount - 1;
  MakeVertex(0.0f, -radius, 0.0f, 0.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, vertices[last]);

  std::int32_t k = 0;
  auto triangle = [&](std::int64_t a, std::int64_t b, std::int64_t c) {
    indices[k++] = Index16(a);
    indices[k++] = Index16(b);
    indices[k++] = Index16(c);
  };
  auto ring = [S](std::int32_t i, std::int32_t j) { return std::int64_t{1} + std::int64_t{i} * S + j; };
  for (std::int32_t j = 0; j < S; ++j) triangle(0, j + 1, (j + 1) % S + 1);
  for (std::int32_t i = 0; i <= R - 3; ++i) {
    for (std::int32_t j = 0; j < S; ++j) {
      const std::int32_t jn = (j + 1) % S;
      triangle(ring(i, j), ring(i + 1, jn), ring(i, jn));
      triangle(ring(i, j), ring(i + 1, j), ring(i + 1, jn));
    }
  }
  auto lastRow = [&](std::int32_t c) { return std::int64_t{vertexCount} - 1 - S + c; };
  for (std::int32_t j = 0; j < S; ++j) triangle(last, lastRow((j + 1) % S), lastRow(j));
  UploadBuffers();
}

void cMesh::BuildHalfTorus(std::int32_t sweepSteps, std::int32_t tubeSegments, float majorRadius, float tubeRadius) {
  const std::int32_t T = sweepSteps;
  const std::int32_t U = tubeSegments;
  if (T < 1 || U < 1 || T > kMaxVertices || U > kMaxVertices)
    throw std::invalid_argument("BuildHalfTorus: needs at least 1 sweep step and 1 tube segment");
  StartWholeMesh((std::int64_t{T} + 1) * U, 2 * std::int64_t{T} * U);

  const float a = majorRadius;
  const float b = tubeRadius;
  for (std::int32_t i = 0; i <= T; ++i) {
    const double theta = i * static_cast<double>(kPi) / T;
    const float sinTheta = static_cast<float>(std::sin(theta));
    const float cosTheta = static_cast<float>(std::cos(theta));
    for (std::int32_t j = 0; j < U; ++j) {
      const double psi = j * static_cast<double>(kTwoPi) / U;
      const float sinPsi = static_cast<float>(std::sin(psi));
      const float cosPsi = static_cast<float>(std::cos(psi));
      const float reach = a + b * sinPsi;
      MakeVertex(reach * sinTheta, b * cosPsi, reach * cosTheta, sinPsi * sinTheta, cosPsi, sinPsi * cosTheta, 0.0f,
                 0.0f, 0.0f, 0.0f, vertices[i * U + j]);
    }
  }
  std::int32_t k = 0;
  auto at = [U](std::int32_t i, std::int32_t j) { return std::int64_t{i} * U + j; };
  for (std::int32_t i = 0; i < T; ++i) {
    for (std::int32_t j = 0; j < U; ++j) {
      const std::int32_t jn = (j + 1) % U;
      const std::int64_t tri[6] = {at(i, j), at(i + 1, jn), at(i + 1, j), at(i, j), at(i, jn), at(i + 1, jn)};
      for (std::int64_t v : tri) indices[k++] = Index16(v);
    }
  }
  UploadBuffers();
}

void cMesh::BuildTaperedCylinder(std::int32_t sides, float backRadius, float frontRadius, float length) {
  const std::int32_t N = sides;
  if (N < 2 || N > kMaxVertices / 2) throw std::invalid_argument("BuildTaperedCylinder: needs at least 2 sides");
  StartWholeMesh(2 * std::int64_t{N}, 4 * std::int64_t{N} - 4);

  const float a = backRadius;
  const float b = frontRadius;
  const float c = length;
  for (std::int32_t i = 0; i < N; ++i) {
    const double t = i * static_cast<double>(kTwoPi) / N;
    const float s = static_cast<float>(std::sin(t));
    const float k = static_cast<float>(std::cos(t));
    const float f = static_cast<float>(static_cast<double>(i) / N);
    // The normals tilt back at the butt and forward at the tip, and are left unnormalised.
    MakeVertex(a * s, a * k, -c, s, k, -0.1f, f, 0.0f, f, 0.0f, vertices[2 * i]);
    MakeVertex(b * s, b * k, 0.0f, s, k, 0.1f, f, 7.0f, f, 1.0f, vertices[2 * i + 1]);
  }
  const std::int32_t V = vertexCount;
  std::int32_t k = 0;
  auto triangle = [&](std::int32_t p, std::int32_t q, std::int32_t r) {
    indices[k++] = Index16(p);
    indices[k++] = Index16(q);
    indices[k++] = Index16(r);
  };
  for (std::int32_t i = 0; i < N; ++i) {
    triangle(2 * i, 2 * i + 1, (2 * i + 3) % V);
    triangle(2 * i, (2 * i + 3) % V, (2 * i + 2) % V);
  }
  for (std::int32_t i = 0; i <= N - 3; ++i) {
    triangle(0, 2 * i + 2, 2 * i + 4);
    triangle(1, 2 * i + 5, 2 * i + 3);
  }
  UploadBuffers();
}

// ---- Device side ----

void cMesh::UploadBuffers() {
  GfxDevice& device = RequireDevice("Device::CreateVertexBuffer");
  stride = kVertexBytes;

  if (vertexBuffer) {
    vertexBuffer->Release();
    vertexBuffer = nullptr;
  }
  const auto vertexBytes = static_cast<std::uint32_t>(vertexCount) * kVertexBytes;
  Check(device.CreateVertexBuffer(vertexBytes, 0, kMeshFvf, D3DPOOL_MANAGED, &vertexBuffer, nullptr),
        "Device::CreateVertexBuffer");
  void* data = nullptr;
  Check(vertexBuffer->Lock(0, vertexBytes, &data, 0), "VertexBuffer::Lock");
  std::memcpy(data, vertices.data(), vertexBytes);
  Check(vertexBuffer->Unlock(), "VertexBuffer::Unlock");
  vertices.assign(1, MeshVertex{});

  if (indexBuffer) {
    indexBuffer->Release();
    indexBuffer = nullptr;
  }
  const auto indexBytes = static_cast<std::uint32_t>(indexCount) * 2;
  Check(device.CreateIndexBuffer(indexBytes, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indexBuffer, nullptr),
        "Device::CreateIndexBuffer");
  Check(indexBuffer->Lock(0, indexBytes, &data, 0), "IndexBuffer::Lock");
  std::memcpy(data, indices.data(), indexBytes);
  Check(indexBuffer->Unlock(), "IndexBuffer::Unlock");
  indices.assign(1, 0);
}

HRESULT cMesh::Draw() {
  return StatusOf([&] {
    GfxDevice& device = RequireDevice("Device::SetStreamSource");
    Check(device.SetStreamSource(0, vertexBuffer, 0, static_cast<std::uint32_t>(stride)), "Device::SetStreamSource");
    Check(device.SetIndices(indexBuffer), "Device::SetIndices");
    Check(device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<std::uint32_t>(vertexCount), 0,
                                      static_cast<std::uint32_t>(triangleCount)),
          "Device::DrawIndexedPrimitive");
  });
}

}  // namespace kuvo
