// The OpenGL device on a real window for read-back tests: a device with the game's declaration and
// shaders made, probe shaders assembled at run time, meshes bound from vertices, and pixels read back.
#pragma once
#include <gtest/gtest.h>
#include <mojoshader.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "geometry/cMesh.h"
#include "platform/Gfx.h"
#include "platform/gl/GlGfx.h"
#include "platform/sdl/SdlVideo.h"
#include "platform/sdl/SdlWindow.h"
#include "tests/support/Assemble.h"
#include "textures/modShader.h"

namespace kuvo::testing {

constexpr std::uint32_t kImmediate = 0x80000000u;  // D3DPRESENT_INTERVAL_IMMEDIATE: tests need no pacing

// Writes `size` bytes over a whole buffer through Lock and Unlock.
template <class Buffer>
void FillBuffer(Buffer* buffer, const void* bytes, std::size_t size) {
  void* data = nullptr;
  ASSERT_EQ(buffer->Lock(0, 0, &data, 0), S_OK);
  std::memcpy(data, bytes, size);
  ASSERT_EQ(buffer->Unlock(), S_OK);
}

// A managed vertex buffer and 16-bit index buffer on `device` holding a mesh; null where not made.
inline void MakeMeshBuffers(GfxDevice* device, const std::vector<MeshVertex>& vertices,
                            const std::vector<std::uint16_t>& indices, GfxVertexBuffer*& vb, GfxIndexBuffer*& ib) {
  const auto vbytes = static_cast<std::uint32_t>(vertices.size() * sizeof(MeshVertex));
  const auto ibytes = static_cast<std::uint32_t>(indices.size() * 2);
  EXPECT_EQ(device->CreateVertexBuffer(vbytes, 0, 0x212, D3DPOOL_MANAGED, &vb, nullptr), S_OK);
  EXPECT_EQ(device->CreateIndexBuffer(ibytes, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), S_OK);
  if (vb) FillBuffer(vb, vertices.data(), vbytes);
  if (ib) FillBuffer(ib, indices.data(), ibytes);
}

struct IgnoredEvents : WindowEvents {
  void KeyDown(int) override {}
  void MouseDown(int) override {}
  void MouseUp(int) override {}
  void Activate(bool) override {}
  void Close() override {}
};

struct Rgb {
  int r, g, b;
};

class GlDeviceTest : public ::testing::Test {
 protected:
  static constexpr int kSize = 64;
  std::unique_ptr<SdlWindow> window;
  std::unique_ptr<GlGfx> gfx;
  GfxDevice* device = nullptr;
  GfxVertexDeclaration* declaration = nullptr;
  GfxVertexShader* screenVS = nullptr;
  GfxVertexShader* lightMapVS = nullptr;
  GfxVertexShader* reflectVS = nullptr;
  GfxPixelShader* colourPS = nullptr;  // oC0 = c0
  GfxPixelShader* plainPS = nullptr;
  std::vector<GfxVertexBuffer*> vertexBuffers;
  std::vector<GfxIndexBuffer*> indexBuffers;

  // For fixtures that set the adapter up before the device is made.
  virtual void BeforeDevice() {}

  void SetUp() override {
    if (std::string why = DisplayProblem(); !why.empty()) GTEST_SKIP() << why << " (scripts/test runs this under Xvfb)";
    window = std::make_unique<SdlWindow>("Kuvo device test", kSize, kSize);
    gfx = std::make_unique<GlGfx>(*window);
    BeforeDevice();
    device = CreateDevice(0);
    ASSERT_NE(device, nullptr) << gfx->LastProblem();
    auto packed = PackMeshDeclaration();
    ASSERT_EQ(device->CreateVertexDeclaration(packed.data(), &declaration), S_OK);
    ASSERT_EQ(device->CreateVertexShader(ShaderScreenVS, &screenVS), S_OK);
    ASSERT_EQ(device->CreateVertexShader(ShaderLightMapVS, &lightMapVS), S_OK);
    ASSERT_EQ(device->CreateVertexShader(ShaderReflectVS, &reflectVS), S_OK);
    ASSERT_EQ(device->CreatePixelShader(ShaderPlainTexturePS, &plainPS), S_OK);
    auto colour = Assemble("ps_2_0\nmov oC0, c0\n");
    ASSERT_FALSE(colour.empty());
    ASSERT_EQ(device->CreatePixelShader(colour.data(), &colourPS), S_OK);
    ASSERT_EQ(device->SetVertexDeclaration(declaration), S_OK);
  }

  void TearDown() override {
    for (auto* b : vertexBuffers) b->Release();
    for (auto* b : indexBuffers) b->Release();
    for (auto* s : {screenVS, lightMapVS, reflectVS})
      if (s) s->Release();
    for (auto* s : {colourPS, plainPS})
      if (s) s->Release();
    if (declaration) declaration->Release();
    if (device) {
      EXPECT_EQ(device->Release(), 0u);
    }
    EXPECT_EQ(GlObjectsAlive(), 0) << "every object released, bound ones with the device";
  }

  GfxDevice* CreateDevice(std::uint32_t samples) {
    GfxPresentParameters p{};
    p.MultiSampleType = samples;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = true;
    p.EnableAutoDepthStencil = true;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.PresentationInterval = kImmediate;
    GfxDevice* created = nullptr;
    gfx->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window.get(),
                      D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &p, &created);
    return created;
  }

  // Binds a mesh of `vertices` drawn as the triangles `indices`.
  void BindMesh(const std::vector<MeshVertex>& vertices, const std::vector<std::uint16_t>& indices) {
    GfxVertexBuffer* vb = nullptr;
    GfxIndexBuffer* ib = nullptr;
    MakeMeshBuffers(device, vertices, indices, vb, ib);
    ASSERT_NE(vb, nullptr);
    ASSERT_NE(ib, nullptr);
    vertexBuffers.push_back(vb);
    indexBuffers.push_back(ib);
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, sizeof(MeshVertex)), S_OK);
    ASSERT_EQ(device->SetIndices(ib), S_OK);
  }

  static MeshVertex At(float x, float y, float z, float u1 = 0, float v1 = 0) {
    return MeshVertex{x, y, z, 0, 1, 0, 0, 0, u1, v1};
  }

  // A triangle in clip coordinates, drawn with the pass-through vertex shader in colour (r, g, b).
  void DrawTriangle(MeshVertex a, MeshVertex b, MeshVertex c, float r, float g, float bl) {
    BindMesh({a, b, c}, {0, 1, 2});
    const float colour[4] = {r, g, bl, 1};
    ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
    ASSERT_EQ(device->SetPixelShader(colourPS), S_OK);
    ASSERT_EQ(device->SetPixelShaderConstantF(0, colour, 1), S_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);
  }

  // The whole view as two triangles at depth z, wound clockwise on screen (kept by the default culling).
  void DrawScreen(float z, float r, float g, float b) {
    BindMesh({At(-1, -1, z, 0, 1), At(-1, 1, z, 0, 0), At(1, 1, z, 1, 0), At(1, -1, z, 1, 1)}, {0, 1, 2, 0, 2, 3});
    const float colour[4] = {r, g, b, 1};
    ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
    ASSERT_EQ(device->SetPixelShader(colourPS), S_OK);
    ASSERT_EQ(device->SetPixelShaderConstantF(0, colour, 1), S_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  }

  // Maximised, with the X server's answer awaited: on a busy machine SDL may learn the new size late.
  void MaximiseWindow() {
    window->Maximise();
    IgnoredEvents events;
    for (int i = 0; i < 200 && window->ClientWidth() <= kSize; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      window->PumpMessages(events);
    }
    ASSERT_GT(window->ClientWidth(), kSize);
  }

  void Begin(std::uint32_t clearColour) {
    ASSERT_EQ(device->BeginScene(), S_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0), S_OK);
  }

  // The whole back buffer: rows top first, red, green, blue, alpha bytes.
  std::vector<std::uint8_t> ReadAll() {
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgba;
    EXPECT_EQ(ReadBackBuffer(device, w, h, rgba), S_OK);
    EXPECT_EQ(w, kSize);
    EXPECT_EQ(h, kSize);
    return rgba;
  }

  // A texture of `levels` levels, texel (x, y) of each level the colour 0xAARRGGBB that `texel` gives.
  template <class Texel>
  GfxTexture* MakeTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels, Texel texel) {
    GfxTexture* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(width, height, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              S_OK);
    if (!texture) return nullptr;
    for (std::uint32_t level = 0; level < texture->GetLevelCount(); ++level) {
      GfxSurface* surface = nullptr;
      EXPECT_EQ(texture->GetSurfaceLevel(level, &surface), S_OK);
      GfxLockedRect locked{};
      EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
      std::uint32_t w = std::max(1u, width >> level), h = std::max(1u, height >> level);
      for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
          std::uint32_t argb = texel(level, x, y);  // little-endian: blue, green, red, alpha in memory
          std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * static_cast<std::uint32_t>(locked.Pitch) + 4 * x,
                      &argb, 4);
        }
      EXPECT_EQ(surface->UnlockRect(), S_OK);
      surface->Release();
    }
    return texture;
  }

  // A rectangle in clip coordinates (x0, y0 top left to x1, y1) with texture set 1 running from (u0, v0)
  // to (u1, v1), drawn with the pass-through vertex shader and the pixel shader given.
  void DrawRectangle(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
                     GfxPixelShader* ps) {
    BindMesh({At(x0, y1, 0.5f, u0, v1), At(x0, y0, 0.5f, u0, v0), At(x1, y0, 0.5f, u1, v0), At(x1, y1, 0.5f, u1, v1)},
             {0, 1, 2, 0, 2, 3});
    ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
    ASSERT_EQ(device->SetPixelShader(ps), S_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  }

  // The pixel at column x, row y counted from the top.
  Rgb Pixel(int x, int y) {
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgba;
    EXPECT_EQ(ReadBackBuffer(device, w, h, rgba), S_OK);
    if (x >= w || y >= h) return {-1, -1, -1};
    const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * w + x) * 4];
    return {p[0], p[1], p[2]};
  }
};

inline void ExpectNear(Rgb actual, Rgb expected, int tolerance, const char* what) {
  EXPECT_NEAR(actual.r, expected.r, tolerance) << what;
  EXPECT_NEAR(actual.g, expected.g, tolerance) << what;
  EXPECT_NEAR(actual.b, expected.b, tolerance) << what;
}

}  // namespace kuvo::testing
