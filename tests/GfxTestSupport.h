// A recording graphics service installed as the Host with a device made by CreateDevice3D, and readers
// for what a mesh handed to its device buffers.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/modMain.h"
#include "geometry/cMesh.h"
#include "physics/modMath.h"
#include "platform/Platform.h"
#include "platform/testing/RecordingGfx.h"
#include "platform/testing/ScriptedWindow.h"
#include "textures/modShader.h"

namespace kuvo::testing {

class GfxFixture : public ::testing::Test {
 protected:
  RecordingGfx gfx;
  ScriptedWindow window;

  void SetUp() override {
    Host.gfx = &gfx;
    Host.window = &window;
    CreateDevice3D();
    gfx.ClearLog();
  }
  void TearDown() override {
    ReleaseDevice3D();
    Host.gfx = nullptr;
    Host.window = nullptr;
  }
};

// Binds the mesh declaration and a shader pair, as every draw needs; the device keeps them while bound.
inline void BindDrawingState(GfxDevice* device) {
  auto packed = PackMeshDeclaration();
  GfxVertexDeclaration* declaration = nullptr;
  GfxVertexShader* vs = nullptr;
  GfxPixelShader* ps = nullptr;
  ASSERT_EQ(device->CreateVertexDeclaration(packed.data(), &declaration), S_OK);
  ASSERT_EQ(device->CreateVertexShader(ShaderScreenVS, &vs), S_OK);
  ASSERT_EQ(device->CreatePixelShader(ShaderPlainTexturePS, &ps), S_OK);
  ASSERT_EQ(device->SetVertexDeclaration(declaration), S_OK);
  ASSERT_EQ(device->SetVertexShader(vs), S_OK);
  ASSERT_EQ(device->SetPixelShader(ps), S_OK);
  declaration->Release();
  vs->Release();
  ps->Release();
}

inline std::vector<MeshVertex> UploadedVertices(const cMesh& mesh) {
  const auto* buffer = dynamic_cast<const RecordingVertexBuffer*>(mesh.VertexBuffer());
  if (!buffer) return {};
  std::vector<MeshVertex> out(buffer->Bytes().size() / sizeof(MeshVertex));
  std::memcpy(out.data(), buffer->Bytes().data(), out.size() * sizeof(MeshVertex));
  return out;
}

inline std::vector<std::uint16_t> UploadedIndices(const cMesh& mesh) {
  const auto* buffer = dynamic_cast<const RecordingIndexBuffer*>(mesh.IndexBuffer());
  if (!buffer) return {};
  std::vector<std::uint16_t> out(buffer->Bytes().size() / 2);
  std::memcpy(out.data(), buffer->Bytes().data(), out.size() * 2);
  return out;
}

inline Vector3 PositionOf(const MeshVertex& v) { return Vector3{v.x, v.y, v.z}; }

// (b − a) × (c − a): in the left-handed frame it points towards a viewer who sees a, b, c clockwise,
// the side that counter-clockwise culling keeps.
inline Vector3 FaceNormal(const Vector3& a, const Vector3& b, const Vector3& c) {
  Vector3 ab{b.x - a.x, b.y - a.y, b.z - a.z};
  Vector3 ac{c.x - a.x, c.y - a.y, c.z - a.z};
  return Vector3{ab.y * ac.z - ab.z * ac.y, ab.z * ac.x - ab.x * ac.z, ab.x * ac.y - ab.y * ac.x};
}

}  // namespace kuvo::testing
