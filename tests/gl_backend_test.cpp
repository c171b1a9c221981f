// The OpenGL device on a real display (Xvfb with Mesa here): Direct3D's conventions checked on read-back
// pixels (clear, culling sense, 0..1 clip depth, the two blends, texel order, constants, the reflection
// shader), the state cache, multisampling, following the window's size, and failures returned as codes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/ScriptedWindow.h"
#include "tests/GlDeviceFixture.h"

using namespace kuvo;
using namespace kuvo::testing;

namespace {

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

  // An eye up and along +z: V = (0, 0.707, 0.707), R = (0, 0.707, -0.707), so the lookup's second
  // coordinate is 0.5 - 0.5 × 0.707 × (1 - 0.707) = 0.396. Normalising V over four components (x, y, z, z)
  // would give 0.377 (96 of 255).
  constants[32] = 0;
  constants[33] = 707.1f;
  constants[34] = 707.1f;
  ASSERT_EQ(device->SetVertexShaderConstantF(0, constants, 9), S_OK);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  ExpectNear(Pixel(kSize / 2, kSize / 2), {128, 101, 255}, 1, "an eye with a z component");
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
            D3DERR_INVALIDCALL);
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

  // The device's shader rewrite needs a spare temporary and shader model 2; c255 is the device's own.
  auto allTemps = Assemble("vs_2_0\ndcl_position v0\nmov r11, v0\nmov oPos, r11\n");
  ASSERT_FALSE(allTemps.empty());
  EXPECT_EQ(device->CreateVertexShader(allTemps.data(), &vs), D3DERR_INVALIDCALL);
  auto model3 = Assemble("vs_3_0\ndcl_position v0\ndcl_position o0\nmov o0, v0\n");
  ASSERT_FALSE(model3.empty());
  EXPECT_EQ(device->CreateVertexShader(model3.data(), &vs), D3DERR_INVALIDCALL);
  EXPECT_EQ(vs, nullptr);
  const float four[4] = {1, 2, 3, 4};
  EXPECT_EQ(device->SetVertexShaderConstantF(254, four, 1), S_OK);
  EXPECT_EQ(device->SetVertexShaderConstantF(255, four, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetVertexShaderConstantF(250, four, 6), D3DERR_INVALIDCALL);

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

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu;

// Direct3D 9 samples a pixel at its integer coordinates, GL half a pixel further right and down. A
// texture drawn 1:1 over the whole view is therefore sampled on the edges between texels: linear
// filtering gives the even mix of each pair. Red alternates black and white by column; green rises by
// 4 a column and blue by 4 a row, so a shift the wrong way or on one axis only shows too.
TEST_F(GlDeviceTest, PixelCentresLieOnIntegerCoordinatesAsInDirect3D9) {
  GfxTexture* texture = MakeTexture(kSize, kSize, 1, [](std::uint32_t, std::uint32_t x, std::uint32_t y) {
    return 0xFF000000u | ((x % 2) ? 0xFF0000u : 0u) | (4 * x) << 8 | 4 * y;
  });
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), S_OK);
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), S_OK);
  Begin(0);
  ASSERT_EQ(device->SetTexture(0, texture), S_OK);
  DrawRectangle(-1, 1, 1, -1, 0, 0, 1, 1, plainPS);
  std::vector<std::uint8_t> rgba = ReadAll();
  int off = 0;
  for (int y = 1; y < kSize; ++y)
    for (int x = 1; x < kSize; ++x) {
      const std::uint8_t* p = &rgba[4 * static_cast<std::size_t>(y * kSize + x)];
      // Texels x - 1 and x, rows y - 1 and y, half each.
      bool right = std::abs(p[0] - 127.5) <= 2 && std::abs(p[1] - (4 * x - 2)) <= 1 && std::abs(p[2] - (4 * y - 2)) <= 1;
      if (!right && ++off <= 4)
        ADD_FAILURE() << "pixel " << x << ", " << y << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2])
                      << ", Direct3D 9 gives 127.5 " << 4 * x - 2 << " " << 4 * y - 2;
    }
  EXPECT_EQ(off, 0);
  int uncovered = 0;
  for (std::size_t p = 3; p < rgba.size(); p += 4) uncovered += rgba[p] != 255;
  EXPECT_EQ(uncovered, 0) << "the whole view, top row and left column too, is covered";
  ASSERT_EQ(device->SetTexture(0, nullptr), S_OK);
  texture->Release();

  // Edges on pixel centres: Direct3D's top-left rule keeps a square's top and left edges' pixels and
  // drops the right and bottom ones', so clip -0.5..0.5 covers pixels 16..47 exactly.
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), S_OK);
  DrawScreen(0.5f, 0, 0, 0);  // binds the colour shader; black on black
  const float white[4] = {1, 1, 1, 1};
  ASSERT_EQ(device->SetPixelShaderConstantF(0, white, 1), S_OK);
  DrawRectangle(-0.5f, 0.5f, 0.5f, -0.5f, 0, 0, 1, 1, colourPS);
  for (int at : {15, 16, 47, 48}) {
    int inside = at >= 16 && at < 48 ? 255 : 0;
    EXPECT_EQ(Pixel(at, 32).r, inside) << "column " << at;
    EXPECT_EQ(Pixel(32, at).r, inside) << "row " << at;
  }
}

// Direct3D clamps the vertex colour outputs to 0..1 before they are interpolated. LightMapVS gives the
// normal's y + 0.25: 3 on the left edge and 0 on the right clamp to a ramp from 1 to 0, where the
// unclamped ramp would stay above 1 for the left two thirds; -2 to 1 below clamps to 0 to 1.
TEST_F(GlDeviceTest, VertexColoursAreClampedBeforeTheyAreInterpolated) {
  auto probe = Assemble("ps_2_0\ndcl v0\nmov oC0, v0\n");
  ASSERT_FALSE(probe.empty());
  GfxPixelShader* colour = nullptr;
  ASSERT_EQ(device->CreatePixelShader(probe.data(), &colour), S_OK);
  const float identity[28] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,   // c0..c3
                              1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};              // c4..c6
  ASSERT_EQ(device->SetVertexShaderConstantF(0, identity, 7), S_OK);
  auto vertex = [](float x, float y, float normalY) { return MeshVertex{x, y, 0.5f, 0, normalY, 0, 0, 0, 0, 0}; };
  Begin(0);
  // Top half: 3 on the left, 0 on the right; bottom half: -2 on the left, 1 on the right.
  BindMesh({vertex(-1, 0, 2.75f), vertex(-1, 1, 2.75f), vertex(1, 1, -0.25f), vertex(1, 0, -0.25f),
            vertex(-1, -1, -2.25f), vertex(-1, 0, -2.25f), vertex(1, 0, 0.75f), vertex(1, -1, 0.75f)},
           {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7});
  ASSERT_EQ(device->SetVertexShader(lightMapVS), S_OK);
  ASSERT_EQ(device->SetPixelShader(colour), S_OK);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 4), S_OK);
  for (int x : {8, 16, 32, 48, 56}) {
    double t = x / double(kSize);  // the interpolation weight of the right edge at Direct3D's pixel centre
    Rgb top = Pixel(x, kSize / 4), bottom = Pixel(x, 3 * kSize / 4);
    EXPECT_NEAR(top.r, 255 * (1 - t), 1.5) << "column " << x << " of the ramp from 3 to 0";
    EXPECT_NEAR(top.b, 255 * (1 - t), 1.5) << "column " << x;
    EXPECT_NEAR(bottom.g, 255 * t, 1.5) << "column " << x << " of the ramp from -2 to 1";
  }
  ASSERT_EQ(device->SetPixelShader(nullptr), S_OK);
  colour->Release();
}

// A device starts with every stage wrapping in u and v: a 2 x 2 texture drawn with coordinates 0..2
// repeats, where clamping would stretch its last texels and mirroring would flip them.
TEST_F(GlDeviceTest, TexturesWrapUntilTheAddressModeIsSet) {
  const std::uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, kWhite};  // red green / blue white
  GfxTexture* texture = MakeTexture(2, 2, 1, [&](std::uint32_t, std::uint32_t x, std::uint32_t y) {
    return texels[y * 2 + x];
  });
  ASSERT_NE(texture, nullptr);
  Begin(0);
  ASSERT_EQ(device->SetTexture(0, texture), S_OK);
  DrawRectangle(-1, 1, 1, -1, 0, 0, 2, 2, plainPS);
  ExpectNear(Pixel(8, 8), {255, 0, 0}, 0, "u 0.25, v 0.25");
  ExpectNear(Pixel(40, 8), {255, 0, 0}, 0, "u 1.25 wraps to the first column");
  ExpectNear(Pixel(56, 8), {0, 255, 0}, 0, "u 1.75");
  ExpectNear(Pixel(8, 40), {255, 0, 0}, 0, "v 1.25 wraps to the top row");
  ExpectNear(Pixel(40, 56), {0, 0, 255}, 0, "u 1.25, v 1.75");
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_ADDRESSU, 3 /* CLAMP */), S_OK);
  DrawRectangle(-1, 1, 1, -1, 0, 0, 2, 2, plainPS);
  ExpectNear(Pixel(40, 8), {0, 255, 0}, 0, "clamped: the last column");
  ASSERT_EQ(device->SetTexture(0, nullptr), S_OK);
  texture->Release();
}

// The game's sampler set: mip LINEAR, mag LINEAR, min ANISOTROPIC, max anisotropy 8 (CreateDevice3D).
void SetTheGamesSamplers(GfxDevice* device) {
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR), S_OK);
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), S_OK);
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC), S_OK);
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 8), S_OK);
}

TEST_F(GlDeviceTest, TheGamesSamplersMagnifyLinearlyAndMinifyTrilinearly) {
  SetTheGamesSamplers(device);
  Begin(0);
  // Magnified: black and white columns spread over the view. At Direct3D's pixel 24 the coordinate
  // lies a quarter of the way from the black texel's centre to the white one's.
  GfxTexture* columns = MakeTexture(2, 2, 1, [](std::uint32_t, std::uint32_t x, std::uint32_t) {
    return x ? kWhite : kBlack;
  });
  ASSERT_EQ(device->SetTexture(0, columns), S_OK);
  DrawRectangle(-1, 1, 1, -1, 0, 0, 1, 1, plainPS);
  EXPECT_NEAR(Pixel(24, 10).r, 0.25 * 255, 2) << "mag LINEAR";
  EXPECT_NEAR(Pixel(40, 10).r, 0.75 * 255, 2) << "mag LINEAR";

  // Minified 64 texels onto 48 pixels: level of detail log2(4 / 3) = 0.415, so levels 0 (red) and 1
  // (green) are mixed about 3 : 2; a nearest-level mipmap would show red alone.
  GfxTexture* levels = MakeTexture(64, 64, 3, [](std::uint32_t level, std::uint32_t, std::uint32_t) {
    return level == 0 ? 0xFFFF0000u : level == 1 ? 0xFF00FF00u : 0xFF0000FFu;
  });
  ASSERT_EQ(device->SetTexture(0, levels), S_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), S_OK);
  DrawRectangle(-1, 1, 0.5f, -0.5f, 0, 0, 1, 1, plainPS);
  Rgb mixed = Pixel(20, 20);
  EXPECT_NEAR(mixed.g, 0.415 * 255, 0.08 * 255) << "mip LINEAR: level 1's share";
  EXPECT_NEAR(mixed.r + mixed.g, 255, 2);
  EXPECT_EQ(mixed.b, 0) << "level 2 is not reached";

  // The same minification of black and white columns, levels 1 and 2 grey: filtering within level 0 is
  // linear (min ANISOTROPIC minifies linearly), so the columns blend into values between the two a
  // nearest texel would give (0.585 * 0 or 255, plus 0.415 * 128: 53 or 202).
  GfxTexture* stripes = MakeTexture(64, 64, 3, [](std::uint32_t level, std::uint32_t x, std::uint32_t) {
    return level > 0 ? 0xFF808080u : x % 2 ? kWhite : kBlack;
  });
  ASSERT_EQ(device->SetTexture(0, stripes), S_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), S_OK);
  DrawRectangle(-1, 1, 0.5f, -0.5f, 0, 0, 1, 1, plainPS);
  int between = 0;
  for (int x = 2; x < 46; ++x) {
    int r = Pixel(x, 20).r;
    if (r > 70 && r < 185) ++between;
  }
  EXPECT_EQ(between, 44) << "min filter linear within a level";
  ASSERT_EQ(device->SetTexture(0, nullptr), S_OK);
  for (GfxTexture* t : {columns, levels, stripes}) t->Release();
}

// Anisotropic filtering where the driver has it, on llvmpipe too (which the device otherwise spares).
class GlAnisotropicDeviceTest : public GlDeviceTest {
 protected:
  void BeforeDevice() override { gfx->AllowSoftwareAnisotropy(true); }
};

// Columns two texels wide drawn 1:1 across but squeezed 16-fold down, to 4 rows: an isotropic filter
// takes the level of detail from the squeeze (level 4, a flat grey); an anisotropic one from the
// unsqueezed axis, so the columns stay sharp. (llvmpipe reads level 0 for any maximum above 1, so
// only "anisotropic or not" can be seen here, not the maximum itself.)
TEST_F(GlAnisotropicDeviceTest, TheGamesSamplersKeepDetailAlongASqueezedAxis) {
  if (!DeviceFeatures(device).anisotropy) GTEST_SKIP() << "the driver has no anisotropic filtering";
  // The probe is made for llvmpipe as Mesa 22 filters; Mesa 25's (Debian 13) gives a flat grey at any
  // maximum, so there it cannot tell anisotropic filtering from none.
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  const char* mesa = version ? std::strstr(version, "Mesa ") : nullptr;
  if (mesa && std::atoi(mesa + 5) >= 24) GTEST_SKIP() << "this probe cannot see llvmpipe's filtering in " << version;
  GfxTexture* texture = MakeTexture(64, 64, 0, [](std::uint32_t level, std::uint32_t x, std::uint32_t) {
    if (level >= 2) return 0xFF808080u;
    return ((level == 0 ? x / 2 : x) % 2) ? kWhite : kBlack;
  });
  ASSERT_NE(texture, nullptr);
  SetTheGamesSamplers(device);
  Begin(0);
  ASSERT_EQ(device->SetTexture(0, texture), S_OK);
  auto contrast = [&] {
    float h = 4.0f / kSize;
    DrawRectangle(-1, h, 1, -h, 0, 0, 1, 1, plainPS);
    int lowest = 255, highest = 0;
    for (int x = 4; x < kSize - 4; ++x) {
      int r = Pixel(x, kSize / 2).r;
      lowest = std::min(lowest, r);
      highest = std::max(highest, r);
    }
    return highest - lowest;
  };
  EXPECT_GT(contrast(), 200) << "min ANISOTROPIC, max 8: the columns stay apart";
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 1), S_OK);
  EXPECT_LT(contrast(), 30) << "max 1: isotropic, grey";
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 8), S_OK);
  ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), S_OK);
  EXPECT_LT(contrast(), 30) << "min LINEAR: Direct3D applies the maximum only to an anisotropic filter";
  ASSERT_EQ(device->SetTexture(0, nullptr), S_OK);
  texture->Release();
}

// The base vertex is added to every index, with or without the driver's base-vertex drawing: indices
// 0, 1, 2 with base 3 draw the second triangle (right half), not the first (left half).
TEST_F(GlDeviceTest, TheBaseVertexIsAddedToEveryIndex) {
  Begin(0);
  BindMesh({At(-1, -1, 0.5f), At(-1, 1, 0.5f), At(-0.1f, -1, 0.5f), At(0.1f, -1, 0.5f), At(0.1f, 1, 0.5f),
            At(1, -1, 0.5f)},
           {0, 1, 2});
  const float white[4] = {1, 1, 1, 1};
  ASSERT_EQ(device->SetVertexShader(screenVS), S_OK);
  ASSERT_EQ(device->SetPixelShader(colourPS), S_OK);
  ASSERT_EQ(device->SetPixelShaderConstantF(0, white, 1), S_OK);
  // The index range (minVertexIndex 0, 3 vertices) counts before the base is added, as Direct3D's does.
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3, 0, 3, 0, 1), S_OK);
  ExpectNear(Pixel(kSize / 2 + 6, kSize - 4), {255, 255, 255}, 0, "vertices 3, 4, 5");
  ExpectNear(Pixel(4, kSize - 4), {0, 0, 0}, 0, "not vertices 0, 1, 2");
}

// X8R8G8B8's fourth byte is padding: whatever it holds, the texel's alpha is one, as A8R8G8B8's is its byte.
TEST_F(GlDeviceTest, PaddedTexelsHaveAnAlphaOfOne) {
  for (std::uint32_t format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}) {
    GfxTexture* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    GfxSurface* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
    GfxLockedRect locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
    for (int y = 0; y < 2; ++y)
      std::memset(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch, 0x40, 8);  // alpha byte 0x40 too
    ASSERT_EQ(surface->UnlockRect(), S_OK);
    surface->Release();
    Begin(0);
    ASSERT_EQ(device->SetTexture(0, texture), S_OK);
    DrawRectangle(-1, 1, 1, -1, 0, 0, 1, 1, plainPS);
    std::vector<std::uint8_t> rgba = ReadAll();
    EXPECT_EQ(rgba[0], 0x40);
    EXPECT_EQ(rgba[3], format == D3DFMT_X8R8G8B8 ? 255 : 0x40) << "format " << format;
    ASSERT_EQ(device->EndScene(), S_OK);
    ASSERT_EQ(device->SetTexture(0, nullptr), S_OK);
    texture->Release();
  }
}

}  // namespace

namespace {

// A jittered sprinkle of triangles from a tenth of a pixel to four pixels across, at random depths and
// windings, each vertex its own colour, drawn through LightMapVS's matrix with a perspective divide on
// `target`'s own objects, the vertex buffer rewritten between two draws of one scene. Rows top first, RGBA.
std::vector<std::uint8_t> DrawSprinkle(GfxDevice* target, int size) {
  std::vector<std::uint8_t> rgba;
  GfxVertexDeclaration* declaration = nullptr;
  GfxVertexShader* vs = nullptr;
  GfxPixelShader* ps = nullptr;
  GfxVertexBuffer* vb = nullptr;
  GfxIndexBuffer* ib = nullptr;
  auto packed = PackMeshDeclaration();
  EXPECT_EQ(target->CreateVertexDeclaration(packed.data(), &declaration), S_OK);
  EXPECT_EQ(target->CreateVertexShader(ShaderLightMapVS, &vs), S_OK);
  auto shown = Assemble("ps_2_0\ndcl t0\nmov oC0, t0\n");
  EXPECT_EQ(target->CreatePixelShader(shown.data(), &ps), S_OK);

  std::vector<MeshVertex> vertices;
  std::vector<std::uint16_t> indices;
  std::uint32_t state = 12345;
  auto uniform = [&](float lo, float hi) {
    state = state * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(state >> 8) / 16777216.0f;
  };
  const float pixel = 2.0f / static_cast<float>(size);
  for (int t = 0; t < 6000; ++t) {
    const float cx = uniform(-1.1f, 1.1f), cy = uniform(-1.1f, 1.1f), z = uniform(0.1f, 0.9f);
    const float extent = pixel * uniform(0.1f, 4.0f);
    for (int k = 0; k < 3; ++k) {
      const float x = cx + extent * uniform(-0.5f, 0.5f), y = cy + extent * uniform(-0.5f, 0.5f);
      // Positions before the divide by w = 1 + z / 2 (the matrix below), so they land at (x, y).
      const float w = 1.0f + z / 2.0f;
      vertices.push_back(MeshVertex{x * w, y * w, z, 0, 1, 0, uniform(0, 1), uniform(0, 1), 0, 0});
      indices.push_back(static_cast<std::uint16_t>(vertices.size() - 1 - (t >= 5000 ? 3000 : 0)));
    }
  }
  MakeMeshBuffers(target, vertices, indices, vb, ib);
  if (!vb || !ib) return rgba;

  // Columns of the row-vector matrix: x, y as they are, depth z, w = 1 + z / 2.
  const float columns[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0.5f, 1};
  EXPECT_EQ(target->BeginScene(), S_OK);
  EXPECT_EQ(target->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040, 1.0f, 0), S_OK);
  EXPECT_EQ(target->SetVertexDeclaration(declaration), S_OK);
  EXPECT_EQ(target->SetVertexShader(vs), S_OK);
  EXPECT_EQ(target->SetPixelShader(ps), S_OK);
  EXPECT_EQ(target->SetVertexShaderConstantF(0, columns, 4), S_OK);
  EXPECT_EQ(target->SetStreamSource(0, vb, 0, sizeof(MeshVertex)), S_OK);
  EXPECT_EQ(target->SetIndices(ib), S_OK);
  // Twice: once with the default culling; then, the vertices moved a third of a pixel within the scene
  // (the first draw still uses them as they were), with none.
  EXPECT_EQ(target->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 18000, 0, 3000), S_OK);
  for (MeshVertex& v : vertices) v.x += pixel / 3.0f * (1.0f + v.z / 2.0f);
  FillBuffer(vb, vertices.data(), vertices.size() * sizeof(MeshVertex));
  EXPECT_EQ(target->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);
  EXPECT_EQ(target->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 18000, 9000, 3000), S_OK);
  EXPECT_EQ(target->EndScene(), S_OK);
  EXPECT_EQ(target->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
  int w = 0, h = 0;
  EXPECT_EQ(ReadBackBuffer(target, w, h, rgba), S_OK);
  EXPECT_EQ(target->SetStreamSource(0, nullptr, 0, 0), S_OK);
  EXPECT_EQ(target->SetIndices(nullptr), S_OK);
  if (vb) vb->Release();
  if (ib) ib->Release();
  if (vs) vs->Release();
  if (ps) ps->Release();
  if (declaration) declaration->Release();
  return rgba;
}

}  // namespace

// On a software renderer the device leaves out the triangles that cover no pixel centre, and the picture
// stays the same to the byte as with every triangle handed over.
TEST_F(GlDeviceTest, TrianglesCoveringNoPixelCentreAreLeftOutWithTheSamePicture) {
  if (!SoftwareRendered(device)) GTEST_SKIP() << "only software renderers sift";
  std::vector<std::uint8_t> sifted = DrawSprinkle(device, kSize);
  const long drawn = TrianglesDrawn(device), leftOut = TrianglesLeftOut(device);
  EXPECT_EQ(drawn + leftOut, 6000);
  EXPECT_GT(leftOut, 3000) << "most of them cover none";
  EXPECT_LT(leftOut, 5800) << "some do";
  gfx->SiftTriangles(false);
  GfxDevice* whole = CreateDevice(0);
  ASSERT_NE(whole, nullptr) << gfx->LastProblem();
  std::vector<std::uint8_t> unsifted = DrawSprinkle(whole, kSize);
  EXPECT_EQ(TrianglesLeftOut(whole), 0);
  EXPECT_EQ(TrianglesDrawn(whole), 6000);
  EXPECT_EQ(whole->Release(), 0u);
  ASSERT_EQ(sifted.size(), unsifted.size());
  std::size_t differing = 0;
  for (std::size_t i = 0; i < sifted.size(); ++i) differing += sifted[i] != unsifted[i];
  EXPECT_EQ(differing, 0u);
  std::size_t background = 0;
  for (std::size_t i = 0; i + 3 < sifted.size(); i += 4)
    background += sifted[i] == 0x20 && sifted[i + 1] == 0x30 && sifted[i + 2] == 0x40;
  EXPECT_GT(background, sifted.size() / 4 / 10) << "not every pixel covered";
  EXPECT_LT(background, sifted.size() / 4 * 9 / 10) << "many pixels covered";
}
