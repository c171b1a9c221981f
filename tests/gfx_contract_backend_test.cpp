// One table of device calls and the codes every device must answer them with: the recording device
// always, the OpenGL device on a display (Xvfb here). A state or argument one device took and the other
// refused would pass every headless test and be dropped on screen.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Gfx.h"
#include "platform/gl/GlGfx.h"
#include "platform/sdl/SdlVideo.h"
#include "platform/sdl/SdlWindow.h"
#include "platform/testing/RecordingGfx.h"
#include "textures/modShader.h"

using namespace kuvo;

namespace {

constexpr std::uint32_t kImmediate = 0x80000000u;  // D3DPRESENT_INTERVAL_IMMEDIATE

// The objects every row may use, made and bound before the table runs: a four-vertex stream, the
// triangles 0 1 2 and 2 1 3, an 8 × 8 texture with its four levels, the mesh declaration and a shader pair.
struct Bench {
  GfxDevice* device = nullptr;
  GfxVertexBuffer* vb = nullptr;
  GfxIndexBuffer* ib = nullptr;
  GfxTexture* texture = nullptr;
  GfxSurface* surface = nullptr;
  GfxVertexDeclaration* declaration = nullptr;
  GfxVertexShader* vs = nullptr;
  GfxPixelShader* ps = nullptr;

  void Make(GfxDevice* d) {
    device = d;
    ASSERT_EQ(d->CreateVertexBuffer(4 * 40, 0, 0x212, D3DPOOL_MANAGED, &vb, nullptr), S_OK);
    ASSERT_EQ(d->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), S_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), S_OK);
    std::memset(data, 0, 4 * 40);
    ASSERT_EQ(vb->Unlock(), S_OK);
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), S_OK);
    const std::uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(data, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), S_OK);
    ASSERT_EQ(d->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(1, &surface), S_OK);
    auto packed = PackMeshDeclaration();
    ASSERT_EQ(d->CreateVertexDeclaration(packed.data(), &declaration), S_OK);
    ASSERT_EQ(d->CreateVertexShader(ShaderScreenVS, &vs), S_OK);
    ASSERT_EQ(d->CreatePixelShader(ShaderPlainTexturePS, &ps), S_OK);
    ASSERT_EQ(d->SetStreamSource(0, vb, 0, 40), S_OK);
    ASSERT_EQ(d->SetIndices(ib), S_OK);
    ASSERT_EQ(d->SetVertexDeclaration(declaration), S_OK);
    ASSERT_EQ(d->SetVertexShader(vs), S_OK);
    ASSERT_EQ(d->SetPixelShader(ps), S_OK);
    ASSERT_EQ(d->SetTexture(0, texture), S_OK);
  }
  void Free() {
    if (device) {
      device->SetStreamSource(0, nullptr, 0, 0);
      device->SetIndices(nullptr);
      device->SetTexture(0, nullptr);
      device->SetVertexDeclaration(nullptr);
      device->SetVertexShader(nullptr);
      device->SetPixelShader(nullptr);
    }
    if (surface) surface->Release();
    if (texture) texture->Release();
    if (vb) vb->Release();
    if (ib) ib->Release();
    if (declaration) declaration->Release();
    if (vs) vs->Release();
    if (ps) ps->Release();
  }
};

struct Row {
  const char* call;
  std::function<HRESULT(Bench&)> make;
  HRESULT expected;
};

constexpr HRESULT OK = S_OK;
constexpr HRESULT BAD = D3DERR_INVALIDCALL;
constexpr std::uint32_t FILLMODE = 8, ALPHATESTENABLE = 15, ADDRESSW = 3;

// Released at once when created: a row that makes an object answers only whether it could. The
// object is read by reference, after the creation call has filled it.
template <class T>
HRESULT Made(HRESULT hr, T*& object) {
  if (object) object->Release();
  return hr;
}

std::function<HRESULT(Bench&)> RenderState(std::uint32_t state, std::uint32_t value) {
  return [=](Bench& b) { return b.device->SetRenderState(state, value); };
}
std::function<HRESULT(Bench&)> SamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value) {
  return [=](Bench& b) { return b.device->SetSamplerState(sampler, type, value); };
}
std::function<HRESULT(Bench&)> Draw(std::uint32_t type, std::int32_t base, std::uint32_t minIndex,
                                    std::uint32_t vertices, std::uint32_t start, std::uint32_t primitives) {
  return [=](Bench& b) { return b.device->DrawIndexedPrimitive(type, base, minIndex, vertices, start, primitives); };
}
std::function<HRESULT(Bench&)> Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags,
                                     std::uint32_t colour, float z, std::uint32_t stencil) {
  return [=](Bench& b) { return b.device->Clear(count, rects, flags, colour, z, stencil); };
}

// In order: each row leaves the device as the next one expects it (bindings as made, out of a scene).
std::vector<Row> Table() {
  static const float four[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  static const GfxRect rect{0, 0, 1, 1};
  return {
      // Render states: only those the devices realise, with Direct3D's values for each.
      {"SetRenderState(FILLMODE, WIREFRAME)", RenderState(FILLMODE, 2), BAD},
      {"SetRenderState(ALPHATESTENABLE, 0)", RenderState(ALPHATESTENABLE, 0), BAD},
      {"SetRenderState(256, 0)", RenderState(256, 0), BAD},
      {"SetRenderState(SRCBLEND, BLENDFACTOR)", RenderState(D3DRS_SRCBLEND, 14), BAD},
      {"SetRenderState(SRCBLEND, 12)", RenderState(D3DRS_SRCBLEND, 12), BAD},
      {"SetRenderState(SRCBLEND, 0)", RenderState(D3DRS_SRCBLEND, 0), BAD},
      {"SetRenderState(SRCBLEND, SRCALPHASAT)", RenderState(D3DRS_SRCBLEND, 11), OK},
      {"SetRenderState(SRCBLEND, ONE)", RenderState(D3DRS_SRCBLEND, D3DBLEND_ONE), OK},
      {"SetRenderState(DESTBLEND, 12)", RenderState(D3DRS_DESTBLEND, 12), BAD},
      {"SetRenderState(DESTBLEND, INVSRCCOLOR)", RenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR), OK},
      {"SetRenderState(DESTBLEND, ZERO)", RenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO), OK},
      {"SetRenderState(CULLMODE, 0)", RenderState(D3DRS_CULLMODE, 0), BAD},
      {"SetRenderState(CULLMODE, 4)", RenderState(D3DRS_CULLMODE, 4), BAD},
      {"SetRenderState(CULLMODE, NONE)", RenderState(D3DRS_CULLMODE, D3DCULL_NONE), OK},
      {"SetRenderState(CULLMODE, CCW)", RenderState(D3DRS_CULLMODE, D3DCULL_CCW), OK},
      {"SetRenderState(ZENABLE, USEW)", RenderState(D3DRS_ZENABLE, 2), BAD},
      {"SetRenderState(ZENABLE, FALSE)", RenderState(D3DRS_ZENABLE, 0), OK},
      {"SetRenderState(ZENABLE, TRUE)", RenderState(D3DRS_ZENABLE, 1), OK},
      {"SetRenderState(ZWRITEENABLE, 7)", RenderState(D3DRS_ZWRITEENABLE, 7), OK},
      {"SetRenderState(ZWRITEENABLE, TRUE)", RenderState(D3DRS_ZWRITEENABLE, 1), OK},
      {"SetRenderState(ALPHABLENDENABLE, TRUE)", RenderState(D3DRS_ALPHABLENDENABLE, 1), OK},
      {"SetRenderState(ALPHABLENDENABLE, FALSE)", RenderState(D3DRS_ALPHABLENDENABLE, 0), OK},

      // Sampler states.
      {"SetSamplerState(0, MIPFILTER, ANISOTROPIC)", SamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_ANISOTROPIC), BAD},
      {"SetSamplerState(0, MIPFILTER, LINEAR)", SamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR), OK},
      {"SetSamplerState(0, MIPFILTER, NONE)", SamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE), OK},
      {"SetSamplerState(0, MINFILTER, NONE)", SamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_NONE), BAD},
      {"SetSamplerState(0, MINFILTER, 4)", SamplerState(0, D3DSAMP_MINFILTER, 4), BAD},
      {"SetSamplerState(0, MINFILTER, ANISOTROPIC)", SamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC), OK},
      {"SetSamplerState(0, MAGFILTER, NONE)", SamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_NONE), BAD},
      {"SetSamplerState(0, MAGFILTER, LINEAR)", SamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), OK},
      {"SetSamplerState(0, ADDRESSU, 0)", SamplerState(0, D3DSAMP_ADDRESSU, 0), BAD},
      {"SetSamplerState(0, ADDRESSU, 6)", SamplerState(0, D3DSAMP_ADDRESSU, 6), BAD},
      {"SetSamplerState(0, ADDRESSU, MIRRORONCE)", SamplerState(0, D3DSAMP_ADDRESSU, 5), OK},
      {"SetSamplerState(0, ADDRESSU, WRAP)", SamplerState(0, D3DSAMP_ADDRESSU, 1), OK},
      {"SetSamplerState(0, ADDRESSV, CLAMP)", SamplerState(0, D3DSAMP_ADDRESSV, 3), OK},
      {"SetSamplerState(0, ADDRESSV, WRAP)", SamplerState(0, D3DSAMP_ADDRESSV, 1), OK},
      {"SetSamplerState(0, ADDRESSW, WRAP)", SamplerState(0, ADDRESSW, 1), BAD},
      {"SetSamplerState(0, 0, 1)", SamplerState(0, 0, 1), BAD},
      {"SetSamplerState(0, 14, 1)", SamplerState(0, 14, 1), BAD},
      {"SetSamplerState(0, MAXANISOTROPY, 0)", SamplerState(0, D3DSAMP_MAXANISOTROPY, 0), BAD},
      {"SetSamplerState(0, MAXANISOTROPY, 17)", SamplerState(0, D3DSAMP_MAXANISOTROPY, 17), BAD},
      {"SetSamplerState(0, MAXANISOTROPY, 16)", SamplerState(0, D3DSAMP_MAXANISOTROPY, 16), OK},
      {"SetSamplerState(15, MINFILTER, LINEAR)", SamplerState(15, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), OK},
      {"SetSamplerState(16, MINFILTER, LINEAR)", SamplerState(16, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), BAD},

      // Scenes, clears and presentation.
      {"EndScene outside a scene", [](Bench& b) { return b.device->EndScene(); }, BAD},
      {"BeginScene", [](Bench& b) { return b.device->BeginScene(); }, OK},
      {"BeginScene inside a scene", [](Bench& b) { return b.device->BeginScene(); }, BAD},
      {"Clear(target and depth, z 1)", Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), OK},
      {"Clear(z 0, stencil)", Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 0.0f, 0), OK},
      {"Clear(z 1.5)", Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), BAD},
      {"Clear(z -0.1)", Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, -0.1f, 0), BAD},
      {"Clear(no flags)", Clear(0, nullptr, 0, 0, 1.0f, 0), BAD},
      {"Clear(unknown flag 8)", Clear(0, nullptr, 8 | D3DCLEAR_TARGET, 0, 1.0f, 0), BAD},
      {"Clear(1 rectangle, none given)", Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), BAD},
      {"Clear(1 rectangle)", Clear(1, &rect, D3DCLEAR_TARGET, 0, 1.0f, 0), OK},

      // Draws: the declared range holds every index, and every vertex reached is in the stream.
      {"Draw both triangles, vertices 0..3", Draw(4, 0, 0, 4, 0, 2), OK},
      {"Draw both triangles, vertices 0..2", Draw(4, 0, 0, 3, 0, 2), BAD},
      {"Draw the second triangle, vertices 1..3", Draw(4, 0, 1, 3, 3, 1), OK},
      {"Draw the second triangle, vertices 2..3", Draw(4, 0, 2, 2, 3, 1), BAD},
      {"Draw the first triangle, vertices 0..2", Draw(4, 0, 0, 3, 0, 1), OK},
      {"Draw with base 1: vertex 4 is past the stream", Draw(4, 1, 0, 4, 0, 2), BAD},
      {"Draw with base -1: vertices 0..2", Draw(4, -1, 1, 3, 3, 1), OK},
      {"Draw with base -1: vertex -1", Draw(4, -1, 0, 4, 0, 1), BAD},
      {"Draw past the indices", Draw(4, 0, 0, 4, 3, 2), BAD},
      {"Draw no primitives", Draw(4, 0, 0, 4, 0, 0), BAD},
      {"Draw no vertices", Draw(4, 0, 0, 0, 0, 1), BAD},
      {"Draw type 0", Draw(0, 0, 0, 4, 0, 1), BAD},
      {"Draw type 7", Draw(7, 0, 0, 4, 0, 1), BAD},
      {"Draw a strip of 4", Draw(D3DPT_TRIANGLESTRIP, 0, 0, 4, 0, 4), OK},
      {"Draw a strip of 5", Draw(D3DPT_TRIANGLESTRIP, 0, 0, 4, 0, 5), BAD},
      {"Draw without a pixel shader",
       [](Bench& b) {
         b.device->SetPixelShader(nullptr);
         HRESULT hr = b.device->DrawIndexedPrimitive(4, 0, 0, 4, 0, 2);
         b.device->SetPixelShader(b.ps);
         return hr;
       },
       BAD},
      {"Draw without a declaration",
       [](Bench& b) {
         b.device->SetVertexDeclaration(nullptr);
         HRESULT hr = b.device->DrawIndexedPrimitive(4, 0, 0, 4, 0, 2);
         b.device->SetVertexDeclaration(b.declaration);
         return hr;
       },
       BAD},
      {"Draw with stride 0",
       [](Bench& b) {
         b.device->SetStreamSource(0, b.vb, 0, 0);
         HRESULT hr = b.device->DrawIndexedPrimitive(4, 0, 0, 4, 0, 2);
         b.device->SetStreamSource(0, b.vb, 0, 40);
         return hr;
       },
       BAD},
      {"Draw from offset 40: three vertices left",
       [](Bench& b) {
         b.device->SetStreamSource(0, b.vb, 40, 40);
         HRESULT hr = b.device->DrawIndexedPrimitive(4, 0, 0, 4, 0, 2);
         b.device->SetStreamSource(0, b.vb, 0, 40);
         return hr;
       },
       BAD},
      {"Draw after the indices are rewritten past the stream",
       [](Bench& b) {
         void* data = nullptr;
         if (Failed(b.ib->Lock(10, 2, &data, 0))) return E_FAIL;
         std::uint16_t four = 4;
         std::memcpy(data, &four, 2);
         b.ib->Unlock();
         HRESULT hr = b.device->DrawIndexedPrimitive(4, 0, 0, 5, 0, 2);
         std::uint16_t three = 3;
         if (Failed(b.ib->Lock(10, 2, &data, 0))) return E_FAIL;
         std::memcpy(data, &three, 2);
         b.ib->Unlock();
         return hr;
       },
       BAD},
      {"Draw after they are written back", Draw(4, 0, 0, 4, 0, 2), OK},
      {"EndScene", [](Bench& b) { return b.device->EndScene(); }, OK},
      {"Present(a source rectangle)", [](Bench& b) { return b.device->Present(&rect, nullptr, nullptr, nullptr); },
       BAD},
      {"Present", [](Bench& b) { return b.device->Present(nullptr, nullptr, nullptr, nullptr); }, OK},

      // Binding and constants.
      {"SetStreamSource(1)", [](Bench& b) { return b.device->SetStreamSource(1, b.vb, 0, 40); }, BAD},
      {"SetTexture(16)", [](Bench& b) { return b.device->SetTexture(16, b.texture); }, BAD},
      {"SetTexture(15, null)", [](Bench& b) { return b.device->SetTexture(15, nullptr); }, OK},
      {"SetVertexShaderConstantF(253, 2)", [](Bench& b) { return b.device->SetVertexShaderConstantF(253, four, 2); },
       OK},
      {"SetVertexShaderConstantF(254, 2)", [](Bench& b) { return b.device->SetVertexShaderConstantF(254, four, 2); },
       BAD},
      {"SetVertexShaderConstantF(null)", [](Bench& b) { return b.device->SetVertexShaderConstantF(0, nullptr, 1); },
       BAD},
      {"SetPixelShaderConstantF(223, 1)", [](Bench& b) { return b.device->SetPixelShaderConstantF(223, four, 1); }, OK},
      {"SetPixelShaderConstantF(224, 1)", [](Bench& b) { return b.device->SetPixelShaderConstantF(224, four, 1); },
       BAD},

      // Locks.
      {"VertexBuffer::Lock(100, 100)",
       [](Bench& b) {
         void* data = nullptr;
         return b.vb->Lock(100, 100, &data, 0);
       },
       BAD},
      {"VertexBuffer::Lock(no pointer)", [](Bench& b) { return b.vb->Lock(0, 0, nullptr, 0); }, BAD},
      {"VertexBuffer::Unlock unlocked", [](Bench& b) { return b.vb->Unlock(); }, BAD},
      {"VertexBuffer::Lock twice",
       [](Bench& b) {
         void* data = nullptr;
         if (Failed(b.vb->Lock(120, 40, &data, 0))) return E_FAIL;
         HRESULT hr = b.vb->Lock(0, 0, &data, 0);
         b.vb->Unlock();
         return hr;
       },
       BAD},
      {"Surface::LockRect(outside the level)",
       [](Bench& b) {
         GfxLockedRect locked{};
         GfxRect outside{2, 0, 5, 1};  // level 1 is 4 × 4
         return b.surface->LockRect(&locked, &outside, 0);
       },
       BAD},
      {"Surface::LockRect(empty)",
       [](Bench& b) {
         GfxLockedRect locked{};
         GfxRect empty{1, 1, 1, 2};
         return b.surface->LockRect(&locked, &empty, 0);
       },
       BAD},
      {"Surface::LockRect(the whole level)",
       [](Bench& b) {
         GfxLockedRect locked{};
         return b.surface->LockRect(&locked, nullptr, 0);
       },
       OK},
      {"Surface::LockRect locked",
       [](Bench& b) {
         GfxLockedRect locked{};
         return b.surface->LockRect(&locked, nullptr, 0);
       },
       BAD},
      {"Surface::UnlockRect", [](Bench& b) { return b.surface->UnlockRect(); }, OK},
      {"Surface::UnlockRect unlocked", [](Bench& b) { return b.surface->UnlockRect(); }, BAD},

      // Creation.
      {"CreateVertexBuffer(0 bytes)",
       [](Bench& b) {
         GfxVertexBuffer* o = nullptr;
         return Made(b.device->CreateVertexBuffer(0, 0, 0x212, D3DPOOL_MANAGED, &o, nullptr), o);
       },
       BAD},
      {"CreateVertexBuffer(pool 3)",
       [](Bench& b) {
         GfxVertexBuffer* o = nullptr;
         return Made(b.device->CreateVertexBuffer(40, 0, 0x212, 3, &o, nullptr), o);
       },
       BAD},
      {"CreateVertexBuffer(shared)",
       [](Bench& b) {
         GfxVertexBuffer* o = nullptr;
         void* handle = &o;
         return Made(b.device->CreateVertexBuffer(40, 0, 0x212, D3DPOOL_MANAGED, &o, handle), o);
       },
       BAD},
      {"CreateVertexBuffer(no pointer)",
       [](Bench& b) { return b.device->CreateVertexBuffer(40, 0, 0x212, D3DPOOL_MANAGED, nullptr, nullptr); }, BAD},
      {"CreateIndexBuffer(format 0)",
       [](Bench& b) {
         GfxIndexBuffer* o = nullptr;
         return Made(b.device->CreateIndexBuffer(12, 0, 0, D3DPOOL_MANAGED, &o, nullptr), o);
       },
       BAD},
      {"CreateIndexBuffer(INDEX32)",
       [](Bench& b) {
         GfxIndexBuffer* o = nullptr;
         return Made(b.device->CreateIndexBuffer(12, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &o, nullptr), o);
       },
       OK},
      {"CreateTexture(8 × 8, 4 levels)",
       [](Bench& b) {
         GfxTexture* o = nullptr;
         return Made(b.device->CreateTexture(8, 8, 4, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &o, nullptr), o);
       },
       OK},
      {"CreateTexture(8 × 8, 5 levels)",
       [](Bench& b) {
         GfxTexture* o = nullptr;
         return Made(b.device->CreateTexture(8, 8, 5, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &o, nullptr), o);
       },
       BAD},
      {"CreateTexture(generated chain, 2 levels)",
       [](Bench& b) {
         GfxTexture* o = nullptr;
         return Made(
             b.device->CreateTexture(8, 8, 2, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &o, nullptr),
             o);
       },
       BAD},
      {"CreateTexture(render target)",
       [](Bench& b) {
         GfxTexture* o = nullptr;
         return Made(b.device->CreateTexture(8, 8, 1, 1, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &o, nullptr), o);
       },
       BAD},
      {"CreateTexture(L8)",
       [](Bench& b) {
         GfxTexture* o = nullptr;
         return Made(b.device->CreateTexture(8, 8, 1, 0, 50, D3DPOOL_MANAGED, &o, nullptr), o);
       },
       BAD},
      {"CreateTexture(0 wide)",
       [](Bench& b) {
         GfxTexture* o = nullptr;
         return Made(b.device->CreateTexture(0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &o, nullptr), o);
       },
       BAD},
      {"CreateTexture(2^20 wide)",
       [](Bench& b) {
         GfxTexture* o = nullptr;
         return Made(b.device->CreateTexture(1 << 20, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &o, nullptr), o);
       },
       BAD},
      {"CreateVertexDeclaration(D3DCOLOR)",
       [](Bench& b) {
         const std::uint8_t packed[16] = {0, 0, 0, 0, 4, 0, 10, 0, 0xFF, 0, 0, 0, 17, 0, 0, 0};
         GfxVertexDeclaration* o = nullptr;
         return Made(b.device->CreateVertexDeclaration(packed, &o), o);
       },
       BAD},
      {"CreateVertexDeclaration(stream 1)",
       [](Bench& b) {
         const std::uint8_t packed[16] = {1, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0, 0, 0, 17, 0, 0, 0};
         GfxVertexDeclaration* o = nullptr;
         return Made(b.device->CreateVertexDeclaration(packed, &o), o);
       },
       BAD},
      {"CreateVertexDeclaration(64 elements and the end)",
       [](Bench& b) {
         std::vector<std::uint8_t> packed(8 * 65, 0);
         for (int i = 0; i < 64; ++i) packed[8 * i + 4] = 2;  // FLOAT3 positions
         packed[8 * 64] = 0xFF;
         packed[8 * 64 + 4] = 17;
         GfxVertexDeclaration* o = nullptr;
         return Made(b.device->CreateVertexDeclaration(packed.data(), &o), o);
       },
       OK},
      {"CreateVertexDeclaration(65 elements)",
       [](Bench& b) {
         std::vector<std::uint8_t> packed(8 * 66, 0);
         for (int i = 0; i < 65; ++i) packed[8 * i + 4] = 2;
         packed[8 * 65] = 0xFF;
         packed[8 * 65 + 4] = 17;
         GfxVertexDeclaration* o = nullptr;
         return Made(b.device->CreateVertexDeclaration(packed.data(), &o), o);
       },
       BAD},
      {"CreateVertexShader(a pixel shader's tokens)",
       [](Bench& b) {
         GfxVertexShader* o = nullptr;
         return Made(b.device->CreateVertexShader(ShaderPlainTexturePS, &o), o);
       },
       BAD},
      {"CreatePixelShader(null)",
       [](Bench& b) {
         GfxPixelShader* o = nullptr;
         return Made(b.device->CreatePixelShader(nullptr, &o), o);
       },
       BAD},
      {"CreatePixelShader",
       [](Bench& b) {
         GfxPixelShader* o = nullptr;
         return Made(b.device->CreatePixelShader(ShaderPlainTexturePS, &o), o);
       },
       OK},
  };
}

void RunTable(GfxDevice* device) {
  Bench bench;
  bench.Make(device);
  if (!testing::Test::HasFatalFailure()) {
    for (const Row& row : Table()) EXPECT_EQ(row.make(bench), row.expected) << row.call;
  }
  bench.Free();
}

GfxPresentParameters Parameters() {
  GfxPresentParameters p{};
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.Windowed = true;
  p.EnableAutoDepthStencil = true;
  p.AutoDepthStencilFormat = D3DFMT_D24S8;
  p.PresentationInterval = kImmediate;
  return p;
}

TEST(DeviceContract, RecordingDevice) {
  RecordingGfx gfx;
  gfx.SetKeepLog(false);
  GfxPresentParameters p = Parameters();
  GfxDevice* device = nullptr;
  ASSERT_EQ(
      gfx.CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
      S_OK);
  RunTable(device);
  EXPECT_EQ(device->Release(), 0u);
}

// Without a depth buffer, neither device clears one.
TEST(DeviceContract, RecordingDeviceWithoutDepthBuffer) {
  RecordingGfx gfx;
  GfxPresentParameters p = Parameters();
  p.EnableAutoDepthStencil = false;
  GfxDevice* device = nullptr;
  ASSERT_EQ(
      gfx.CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
      S_OK);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), S_OK);
  device->Release();
}

TEST(DeviceContract, OpenGlDevice) {
  if (std::string why = DisplayProblem(); !why.empty()) GTEST_SKIP() << why << " (scripts/test runs this under Xvfb)";
  SdlWindow window("Kuvo device contract", 64, 64);
  GlGfx gfx(window);
  GfxPresentParameters p = Parameters();
  GfxDevice* device = nullptr;
  ASSERT_EQ(
      gfx.CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
      S_OK)
      << gfx.LastProblem();
  RunTable(device);
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(GlObjectsAlive(), 0) << "every object released, bound ones with the device";
}

}  // namespace
