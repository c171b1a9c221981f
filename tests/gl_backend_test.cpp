// The OpenGL device on a real display (Xvfb with Mesa here): Direct3D's conventions checked on read-back
// pixels (clear, culling sense, 0..1 clip depth, the two blends, texel order, constants, the reflection
// shader), the state cache, multisampling, following the window's size, and failures returned as codes.
#include <gtest/gtest.h>
#include <mojoshader.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "geometry/cMesh.h"
#include "platform/Gfx.h"
#include "platform/gl/GlGfx.h"
#include "platform/sdl/SdlWindow.h"
#include "platform/testing/ScriptedWindow.h"
#include "textures/modShader.h"

using namespace kuvo;

namespace {

constexpr std::uint32_t kImmediate = 0x80000000u;  // D3DPRESENT_INTERVAL_IMMEDIATE: tests need no pacing

std::vector<std::uint32_t> Assemble(const std::string& source) {
  const MOJOSHADER_parseData* data = MOJOSHADER_assemble("test", source.data(), static_cast<unsigned>(source.size()),
                                                         nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr,
                                                         nullptr, nullptr, nullptr);
  std::vector<std::uint32_t> tokens;
  if (data->error_count == 0) {
    tokens.resize(static_cast<std::size_t>(data->output_len) / 4);
    std::memcpy(tokens.data(), data->output, tokens.size() * 4);
  }
  MOJOSHADER_freeParseData(data);
  return tokens;
}

struct Rgb {
  int r, g, b;
};

struct IgnoredEvents : WindowEvents {
  void KeyDown(int) override {}
  void MouseDown(int) override {}
  void MouseUp(int) override {}
  void Activate(bool) override {}
  void Close() override {}
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

  void SetUp() override {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs a display: run under xvfb-run (scripts/test does)";
    window = std::make_unique<SdlWindow>("Kuvo device test", kSize, kSize);
    gfx = std::make_unique<GlGfx>(*window);
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
    auto vbytes = static_cast<std::uint32_t>(vertices.size() * sizeof(MeshVertex));
    auto ibytes = static_cast<std::uint32_t>(indices.size() * 2);
    ASSERT_EQ(device->CreateVertexBuffer(vbytes, 0, 0x212, D3DPOOL_MANAGED, &vb, nullptr), S_OK);
    ASSERT_EQ(device->CreateIndexBuffer(ibytes, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), S_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), S_OK);
    std::memcpy(data, vertices.data(), vbytes);
    ASSERT_EQ(vb->Unlock(), S_OK);
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), S_OK);
    std::memcpy(data, indices.data(), ibytes);
    ASSERT_EQ(ib->Unlock(), S_OK);
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

  void Begin(std::uint32_t clearColour) {
    ASSERT_EQ(device->BeginScene(), S_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0), S_OK);
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

void ExpectNear(Rgb actual, Rgb expected, int tolerance, const char* what) {
  EXPECT_NEAR(actual.r, expected.r, tolerance) << what;
  EXPECT_NEAR(actual.g, expected.g, tolerance) << what;
  EXPECT_NEAR(actual.b, expected.b, tolerance) << what;
}

TEST_F(GlDeviceTest, ClearFillsTheBackBufferWithTheArgbColour) {
  Begin(0xFF336699);
  ExpectNear(Pixel(0, 0), {0x33, 0x66, 0x99}, 0, "top left");
  ExpectNear(Pixel(kSize - 1, kSize - 1), {0x33, 0x66, 0x99}, 0, "bottom right");
}

TEST_F(GlDeviceTest, CounterClockwiseCullingKeepsClockwiseTrianglesAsSeenOnScreen) {
  Begin(0);
  // Left half: bottom-left, top-left, bottom-right goes clockwise on screen.
  DrawTriangle(At(-1, -1, 0.5f), At(-1, 1, 0.5f), At(0, -1, 0.5f), 1, 0, 0);
  // Right half: the same shape wound the other way.
  DrawTriangle(At(0.1f, -1, 0.5f), At(1, -1, 0.5f), At(0.1f, 1, 0.5f), 0, 1, 0);
  ExpectNear(Pixel(4, kSize - 4), {255, 0, 0}, 0, "clockwise drawn");
  ExpectNear(Pixel(kSize / 2 + 6, kSize - 4), {0, 0, 0}, 0, "counter-clockwise culled");

  ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW), S_OK);
  DrawTriangle(At(0.1f, -1, 0.5f), At(1, -1, 0.5f), At(0.1f, 1, 0.5f), 0, 1, 0);
  ExpectNear(Pixel(kSize / 2 + 6, kSize - 4), {0, 255, 0}, 0, "kept when clockwise is culled");
}

TEST_F(GlDeviceTest, DepthIsZeroToOneAndTestedLessOrEqual) {
  Begin(0);
  DrawScreen(0.2f, 1, 0, 0);
  DrawScreen(0.8f, 0, 1, 0);  // farther: hidden
  ExpectNear(Pixel(10, 10), {255, 0, 0}, 0, "nearer stays");
  DrawScreen(0.2f, 0, 0, 1);  // equal depth passes, as Direct3D's default comparison
  ExpectNear(Pixel(10, 10), {0, 0, 255}, 0, "equal depth drawn");

  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), S_OK);
  // Behind the near plane (z < 0 with w = 1) is clipped: GL's own convention would draw it.
  DrawScreen(-0.5f, 1, 1, 1);
  ExpectNear(Pixel(10, 10), {0, 0, 0}, 0, "behind the near plane");
  DrawScreen(0.999f, 0, 1, 1);
  ExpectNear(Pixel(10, 10), {0, 255, 255}, 0, "just inside the far plane");

  ASSERT_EQ(device->SetRenderState(D3DRS_ZENABLE, 0), S_OK);
  DrawScreen(1.0f, 1, 0, 1);  // no depth test: a farther quad overwrites
  ExpectNear(Pixel(10, 10), {255, 0, 255}, 0, "depth test off");

  // Depth writes off leave the depth as it was, and Clear still clears depth.
  ASSERT_EQ(device->SetRenderState(D3DRS_ZENABLE, 1), S_OK);
  DrawScreen(0.1f, 1, 1, 1);  // near depth written, for the clear below to remove
  ASSERT_EQ(device->SetRenderState(D3DRS_ZWRITEENABLE, 0), S_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), S_OK);
  DrawScreen(0.2f, 1, 0, 0);
  DrawScreen(0.8f, 0, 1, 0);
  ExpectNear(Pixel(10, 10), {0, 255, 0}, 0, "nothing written, so the farther quad passes");
}

TEST_F(GlDeviceTest, ShadowBlendMultipliesByOneMinusSourceAndHudBlendAdds) {
  Begin(0xFFC86432);  // 200, 100, 50
  ASSERT_EQ(device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1), S_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO), S_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR), S_OK);
  DrawScreen(0.5f, 0.5f, 0.25f, 1.0f);
  // destination × (1 − source): 200 × 0.5, 100 × 0.75, 50 × 0.
  ExpectNear(Pixel(10, 10), {100, 75, 0}, 1, "multiplicative");

  ASSERT_EQ(device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE), S_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE), S_OK);
  DrawScreen(0.5f, 0.2f, 0.4f, 0.6f);
  // 100 + 51, 75 + 102, 0 + 153.
  ExpectNear(Pixel(10, 10), {151, 177, 153}, 1, "additive");
  DrawScreen(0.5f, 0, 0, 0);
  ExpectNear(Pixel(10, 10), {151, 177, 153}, 1, "black adds nothing");
}

TEST_F(GlDeviceTest, BgraTexelsArriveAsTheirColoursTopRowFirst) {
  GfxTexture* texture = nullptr;
  ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
  GfxSurface* surface = nullptr;
  ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
  GfxLockedRect locked{};
  ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
  ASSERT_EQ(locked.Pitch, 8);
  // Bytes blue, green, red, alpha: top row red, green; bottom row blue, white.
  const std::uint8_t top[8] = {0, 0, 255, 255, 0, 255, 0, 255};
  const std::uint8_t bottom[8] = {255, 0, 0, 255, 255, 255, 255, 255};
  std::memcpy(locked.pBits, top, 8);
  std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + locked.Pitch, bottom, 8);
  ASSERT_EQ(surface->UnlockRect(), S_OK);
  surface->Release();

  Begin(0);
  ASSERT_EQ(device->SetTexture(0, texture), S_OK);
  texture->Release();  // the binding keeps it alive
  // The text line's pair: clip-space positions, texture set 1 sampled on stage 0, point filtered.
  BindMesh({At(-1, -1, 0.5f, 0, 1), At(-1, 1, 0.5f, 0, 0), At(1, 1, 0.5f, 1, 0), At(1, -1, 0.5f, 1, 1)},
           {0, 1, 2, 0, 2, 3});
  ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
  ASSERT_EQ(device->SetPixelShader(plainPS), S_OK);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  ExpectNear(Pixel(8, 8), {255, 0, 0}, 0, "top left");
  ExpectNear(Pixel(kSize - 8, 8), {0, 255, 0}, 0, "top right");
  ExpectNear(Pixel(8, kSize - 8), {0, 0, 255}, 0, "bottom left");
  ExpectNear(Pixel(kSize - 8, kSize - 8), {255, 255, 255}, 0, "bottom right");

  // A partial lock keeps the rest of a written level.
  ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
  GfxRect one{1, 1, 2, 2};
  ASSERT_EQ(surface->LockRect(&locked, &one, 0), S_OK);
  const std::uint8_t black[4] = {0, 0, 0, 255};
  std::memcpy(locked.pBits, black, 4);
  ASSERT_EQ(surface->UnlockRect(), S_OK);
  surface->Release();
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  ExpectNear(Pixel(8, 8), {255, 0, 0}, 0, "untouched texel");
  ExpectNear(Pixel(kSize - 8, kSize - 8), {0, 0, 0}, 0, "relocked texel");
}

TEST_F(GlDeviceTest, GeneratedMipmapsFollowEachUnlock) {
  GfxTexture* texture = nullptr;
  ASSERT_EQ(device->CreateTexture(64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                  nullptr),
            S_OK);
  EXPECT_EQ(texture->GetLevelCount(), 1u);  // only level 0 is the game's to write
  GfxSurface* surface = nullptr;
  EXPECT_NE(texture->GetSurfaceLevel(1, &surface), S_OK);
  EXPECT_EQ(surface, nullptr);
  ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
  GfxLockedRect locked{};
  ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
  // A one-texel checkerboard of two colours: every smaller level is their even mix.
  for (int i = 0; i < 64 * 64; ++i)
    std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + 4 * i,
                ((i % 64) + (i / 64)) % 2 ? "\x00\x40\xC0\xFF" : "\x40\x40\x40\xFF", 4);
  ASSERT_EQ(surface->UnlockRect(), S_OK);
  surface->Release();
  // Minified to 4 × 4 texels on screen with trilinear filtering: only the smaller levels are read.
  for (std::uint32_t type : {D3DSAMP_MIPFILTER, D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER})
    ASSERT_EQ(device->SetSamplerState(0, type, D3DTEXF_LINEAR), S_OK);
  Begin(0);
  ASSERT_EQ(device->SetTexture(0, texture), S_OK);
  float s = 4.0f / kSize;
  BindMesh({At(-1, -1, 0.5f, 0, 1), At(-1, -1 + s, 0.5f, 0, 0), At(-1 + s, -1 + s, 0.5f, 1, 0),
            At(-1 + s, -1, 0.5f, 1, 1)},
           {0, 1, 2, 0, 2, 3});
  ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
  ASSERT_EQ(device->SetPixelShader(plainPS), S_OK);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  ExpectNear(Pixel(0, kSize - 1), {0x80, 0x40, 0x20}, 1, "smaller levels hold the mix");
  ASSERT_EQ(device->SetTexture(0, nullptr), S_OK);
  texture->Release();
}

TEST_F(GlDeviceTest, VertexConstantsTransformAndPixelConstantsColour) {
  Begin(0);
  // LightMapVS: oPos = v0 × (c0..c3 as columns). A translation by +1 in x moves the left triangle right.
  const float moveRight[16] = {1, 0, 0, 1,  // column 0 of the row-vector matrix: x' = x + 1·w
                               0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  ASSERT_EQ(device->SetVertexShaderConstantF(0, moveRight, 4), S_OK);
  const float world[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
  ASSERT_EQ(device->SetVertexShaderConstantF(4, world, 3), S_OK);
  BindMesh({At(-1, -1, 0.5f), At(-1, 1, 0.5f), At(0, -1, 0.5f)}, {0, 1, 2});
  const float colour[4] = {0.25f, 0.5f, 0.75f, 1};
  ASSERT_EQ(device->SetPixelShaderConstantF(0, colour, 1), S_OK);
  ASSERT_EQ(device->SetVertexShader(lightMapVS), S_OK);
  ASSERT_EQ(device->SetPixelShader(colourPS), S_OK);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);
  ExpectNear(Pixel(4, kSize - 4), {0, 0, 0}, 0, "moved away");
  ExpectNear(Pixel(kSize / 2 + 4, kSize - 4), {64, 128, 191}, 1, "moved here, in the constant's colour");
}

TEST_F(GlDeviceTest, ReflectionLooksAtTheLampCentreStraightUp) {
  // A pixel shader that shows what ReflectVS hands on: the lamp coordinate in red and green, the
  // reflection factor (diffuse alpha) in blue.
  auto probe = Assemble("ps_2_0\ndcl t1\ndcl v0\nmov r0, t1\nmov r0.z, v0.w\nmov r0.w, v0.w\nmov oC0, r0\n");
  ASSERT_FALSE(probe.empty());
  GfxPixelShader* probePS = nullptr;
  ASSERT_EQ(device->CreatePixelShader(probe.data(), &probePS), S_OK);

  // A floor quad at y = 0 with N = (0, 1, 0), mapped straight to the screen (x → x, z → y); the eye
  // stands high above its centre.
  float constants[36] = {1, 0, 0, 0,  0, 0, 1, 0,  0, 0, 0, 0.5f,  0, 0, 0, 1,   // c0..c3: (x, z, 0.5, 1)
                         1, 0, 0, 0,  0, 1, 0, 0,  0, 0, 1, 0,     0, 0, 0, 1,   // c4..c7: world = identity
                         0, 50, 0, 0};                                           // c8: the eye
  ASSERT_EQ(device->SetVertexShaderConstantF(0, constants, 9), S_OK);
  Begin(0);
  BindMesh({At(-1, 0, -1), At(-1, 0, 1), At(1, 0, 1), At(1, 0, -1)}, {0, 1, 2, 0, 2, 3});
  ASSERT_EQ(device->SetVertexShader(reflectVS), S_OK);
  ASSERT_EQ(device->SetPixelShader(probePS), S_OK);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  // R = (0, 1, 0): lamp coordinate (0.5, 0.5); factor 5 × 1 + 1.2 clamped to 1.
  ExpectNear(Pixel(kSize / 2, kSize / 2), {128, 128, 255}, 2, "straight up");

  // An eye low on the horizon far along +x: R leans along −x... and its y is ~0, factor 1.2 clamped to 1.
  constants[32] = 1000;
  constants[33] = 0;
  ASSERT_EQ(device->SetVertexShaderConstantF(0, constants, 9), S_OK);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  Rgb low = Pixel(kSize / 2, kSize / 2);
  EXPECT_NEAR(low.b, 255, 1) << "a horizontal reflection still reflects fully";
  EXPECT_LT(low.r, 8) << "R.x = -1 moves the lookup to the lamp image's edge: 0.5 - 0.5 × 1 × (1 - 0)";
  ASSERT_EQ(device->SetPixelShader(nullptr), S_OK);
  probePS->Release();
}

TEST_F(GlDeviceTest, RepeatedStateCostsNoGlCall) {
  long before = GlStateCalls(device);
  ASSERT_EQ(device->SetRenderState(D3DRS_ZWRITEENABLE, 0), S_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_ZWRITEENABLE, 0), S_OK);
  ASSERT_EQ(device->SetSamplerState(1, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC), S_OK);
  ASSERT_EQ(device->SetSamplerState(1, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC), S_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW), S_OK);  // already the creation value
  EXPECT_EQ(GlStateCalls(device) - before, 2);
}

TEST_F(GlDeviceTest, CallsGlCannotDoReturnFailingCodes) {
  GfxTexture* texture = reinterpret_cast<GfxTexture*>(1);
  EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, 50 /* D3DFMT_L8 */, D3DPOOL_MANAGED, &texture, nullptr),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(texture, nullptr);
  EXPECT_TRUE(Failed(device->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)));
  EXPECT_TRUE(Failed(device->CreateTexture(1 << 20, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)));

  GfxVertexShader* vs = nullptr;
  EXPECT_TRUE(Failed(device->CreateVertexShader(ShaderPlainTexturePS, &vs))) << "a pixel shader's tokens";
  std::vector<std::uint32_t> runaway(1 << 17, 0x0000FFFEu);  // comment tokens without end
  runaway[0] = 0xFFFE0200u;
  EXPECT_TRUE(Failed(device->CreateVertexShader(runaway.data(), &vs)));
  EXPECT_EQ(vs, nullptr);
  GfxPixelShader* ps = nullptr;
  EXPECT_TRUE(Failed(device->CreatePixelShader(nullptr, &ps)));

  const std::uint8_t badDeclaration[16] = {0, 0, 0, 0, 4 /* D3DCOLOR */, 0, 0, 0, 0xFF, 0, 0, 0, 17, 0, 0, 0};
  GfxVertexDeclaration* d = nullptr;
  EXPECT_TRUE(Failed(device->CreateVertexDeclaration(badDeclaration, &d)));
  EXPECT_EQ(d, nullptr);

  EXPECT_EQ(device->SetRenderState(8 /* D3DRS_FILLMODE */, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetRenderState(D3DRS_SRCBLEND, 14), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetSamplerState(16, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), D3DERR_INVALIDCALL);

  // Drawing with nothing bound, or past the end of the indices.
  ASSERT_EQ(device->SetVertexShader(nullptr), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
  BindMesh({At(-1, -1, 0.5f), At(-1, 1, 0.5f), At(0, -1, 0.5f)}, {0, 1, 2});
  ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
  ASSERT_EQ(device->SetPixelShader(colourPS), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 1, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);

  void* data = nullptr;
  ASSERT_EQ(vertexBuffers.back()->Lock(0, 0, &data, 0), S_OK);
  EXPECT_EQ(vertexBuffers.back()->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL) << "locked twice";
  EXPECT_EQ(data, nullptr);
  ASSERT_EQ(vertexBuffers.back()->Unlock(), S_OK);
  EXPECT_EQ(vertexBuffers.back()->Unlock(), D3DERR_INVALIDCALL);
  EXPECT_EQ(vertexBuffers.back()->Lock(100, 100, &data, 0), D3DERR_INVALIDCALL) << "past the end";

  EXPECT_EQ(device->BeginScene(), S_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->EndScene(), S_OK);
  EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
  const GfxRect part{0, 0, 1, 1};
  EXPECT_EQ(device->Present(&part, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);

  // A device for a window of another backend, or in a full screen, is refused.
  ScriptedWindow other;
  GfxPresentParameters p{};
  p.Windowed = true;
  p.EnableAutoDepthStencil = true;
  p.AutoDepthStencilFormat = D3DFMT_D24S8;
  GfxDevice* refused = reinterpret_cast<GfxDevice*>(1);
  EXPECT_EQ(gfx->CreateDevice(0, D3DDEVTYPE_HAL, &other, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &refused),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(refused, nullptr);
  p.Windowed = false;
  EXPECT_TRUE(Failed(gfx->CreateDevice(0, D3DDEVTYPE_HAL, window.get(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                       &refused)));
  p.Windowed = true;
  EXPECT_TRUE(Failed(gfx->CreateDevice(0, D3DDEVTYPE_HAL, window.get(), 0, &p, &refused))) << "no vertex processing";
  p.MultiSampleType = 32;
  EXPECT_TRUE(Failed(gfx->CreateDevice(0, D3DDEVTYPE_HAL, window.get(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                       &refused)));
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(gfx->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, true, 32, nullptr),
            D3DERR_NOTAVAILABLE);
}

TEST_F(GlDeviceTest, FourSamplesWhenAskedAndAvailable) {
  std::uint32_t quality = 7;
  // A renderer on the CPU has no samples to offer at speed; a GPU keeps its 4.
  HRESULT expected = SoftwareRendered(device) ? D3DERR_NOTAVAILABLE : S_OK;
  EXPECT_EQ(gfx->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, true, 4, &quality), expected);
  EXPECT_EQ(quality, expected == S_OK ? 1u : 0u);
  EXPECT_EQ(gfx->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, true, 0, &quality), S_OK)
      << "no multisampling is always there";
  gfx->OfferSlowMultisampling(true);
  ASSERT_EQ(gfx->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, true, 4, &quality), S_OK)
      << "Mesa offers 4 samples";
  EXPECT_EQ(quality, 1u);
  EXPECT_EQ(BackBufferSamples(device), 0);
  EXPECT_TRUE(DrawsIntoWindow(device)) << "without samples the window's own buffer is the back buffer";
  GfxDevice* multisampled = CreateDevice(4);
  ASSERT_NE(multisampled, nullptr) << gfx->LastProblem();
  EXPECT_EQ(BackBufferSamples(multisampled), 4);
  // Two devices on one window: each keeps its own context current when used.
  EXPECT_FALSE(DrawsIntoWindow(multisampled));
  ASSERT_EQ(multisampled->BeginScene(), S_OK);
  ASSERT_EQ(multisampled->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), S_OK);
  ASSERT_EQ(multisampled->EndScene(), S_OK);
  int w = 0, h = 0;
  std::vector<std::uint8_t> rgba;
  ASSERT_EQ(ReadBackBuffer(multisampled, w, h, rgba), S_OK);
  EXPECT_EQ(rgba[1], 255);
  EXPECT_EQ(multisampled->Release(), 0u);
  Begin(0xFF0000FF);
  ExpectNear(Pixel(1, 1), {0, 0, 255}, 0, "the first device still draws");
}

// Presenting a frame whose every input equals the last one's shows the window's picture again, drawing
// nothing; any changed input, contents included, or a window that may have lost its picture, draws.
TEST_F(GlDeviceTest, AFrameWithTheSameInputsIsShownAgainNotDrawn) {
  GfxTexture* texture = nullptr;
  ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
  auto paint = [&](std::uint32_t bgra) {
    GfxSurface* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
    GfxLockedRect locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
    std::memcpy(locked.pBits, &bgra, 4);
    ASSERT_EQ(surface->UnlockRect(), S_OK);
    surface->Release();
  };
  BindMesh({At(-1, -1, 0.5f, 0, 1), At(-1, 1, 0.5f, 0, 0), At(1, 1, 0.5f, 1, 0), At(1, -1, 0.5f, 1, 1)},
           {0, 1, 2, 0, 2, 3});
  auto frame = [&](bool clear, float z) {
    ASSERT_EQ(device->BeginScene(), S_OK);
    if (clear) {
      ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), S_OK);
    }
    ASSERT_EQ(device->SetTexture(0, texture), S_OK);
    ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
    ASSERT_EQ(device->SetPixelShader(plainPS), S_OK);
    const float unused[4] = {z, 0, 0, 0};
    ASSERT_EQ(device->SetPixelShaderConstantF(3, unused, 1), S_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
    ASSERT_EQ(device->EndScene(), S_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
  };
  paint(0xFFFF0000);
  frame(true, 0);  // starts from nothing bound
  frame(true, 0);  // starts from what the last one bound
  long again = FramesShownAgain(device);
  frame(true, 0);
  EXPECT_EQ(FramesShownAgain(device), again + 1) << "the same frame";
  ExpectNear(Pixel(5, 5), {255, 0, 0}, 0, "shown again");
  paint(0xFF00FF00);
  frame(true, 0);
  EXPECT_EQ(FramesShownAgain(device), again + 1) << "new texels";
  ExpectNear(Pixel(5, 5), {0, 255, 0}, 0, "drawn with the new texels");
  frame(true, 1);
  EXPECT_EQ(FramesShownAgain(device), again + 1) << "a constant changed, though no shader reads it";
  frame(true, 1);
  EXPECT_EQ(FramesShownAgain(device), again + 1) << "the frame before started from the old constant";
  frame(true, 1);
  EXPECT_EQ(FramesShownAgain(device), again + 2);
  MaximiseWindow();
  frame(true, 1);
  EXPECT_EQ(FramesShownAgain(device), again + 2) << "a new size";
  ExpectNear(Pixel(window->ClientWidth() - 5, 5), {0, 255, 0}, 0, "drawn at the new size");
  frame(false, 1);
  frame(false, 1);
  EXPECT_EQ(FramesShownAgain(device), again + 2) << "a frame that starts on the last one's pixels";
  texture->Release();
}

// The scene's GL work waits for Present; a state set between EndScene and Present must still win.
TEST_F(GlDeviceTest, StateSetAfterEndSceneHoldsForTheNextFrame) {
  // Made before the scenes: an upload inside one would do the scene's work at once.
  BindMesh({At(-1, -1, 0.5f), At(-1, 1, 0.5f), At(1, 1, 0.5f), At(1, -1, 0.5f)}, {0, 1, 2, 0, 2, 3});
  ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
  ASSERT_EQ(device->SetPixelShader(colourPS), S_OK);
  auto screen = [&](float r, float g, float b) {
    const float colour[4] = {r, g, b, 1};
    ASSERT_EQ(device->SetPixelShaderConstantF(0, colour, 1), S_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  };
  ASSERT_EQ(device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1), S_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE), S_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE), S_OK);
  Begin(0xFF000000);
  ASSERT_EQ(device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0), S_OK);
  screen(1, 0, 0);
  ASSERT_EQ(device->EndScene(), S_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1), S_OK);
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
  Begin(0xFF000040);
  screen(0, 1, 0);
  ASSERT_EQ(device->EndScene(), S_OK);
  ExpectNear(Pixel(5, 5), {0, 255, 64}, 1, "added to the clear colour");
}

// The window's buffers swap at Present; the frame read afterwards is the one presented, and a frame
// being drawn is read from where it is drawn.
TEST_F(GlDeviceTest, ThePresentedFrameReadsBackUntilTheNextIsDrawn) {
  Begin(0xFF102030);
  DrawScreen(0.5f, 1, 0, 0);
  ASSERT_EQ(device->EndScene(), S_OK);
  ExpectNear(Pixel(5, 5), {255, 0, 0}, 0, "drawn, not presented");
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
  ExpectNear(Pixel(5, 5), {255, 0, 0}, 0, "presented");
  Begin(0xFF0000FF);
  ASSERT_EQ(device->EndScene(), S_OK);
  ExpectNear(Pixel(5, 5), {0, 0, 255}, 0, "the next frame's clear");
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
  ExpectNear(Pixel(5, 5), {0, 0, 255}, 0, "the next frame presented");
}

TEST_F(GlDeviceTest, BackBufferFollowsTheWindowsSize) {
  Begin(0);
  ASSERT_EQ(device->EndScene(), S_OK);
  MaximiseWindow();
  ASSERT_EQ(device->BeginScene(), S_OK);  // the device resets its back buffer here
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0), S_OK);
  ASSERT_EQ(device->EndScene(), S_OK);
  int w = 0, h = 0;
  std::vector<std::uint8_t> rgba;
  ASSERT_EQ(ReadBackBuffer(device, w, h, rgba), S_OK);
  EXPECT_EQ(w, window->ClientWidth());
  EXPECT_EQ(h, window->ClientHeight());
  EXPECT_EQ(rgba[(static_cast<std::size_t>(h) * w - 1) * 4], 255) << "cleared to the last pixel";
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
}

}  // namespace
