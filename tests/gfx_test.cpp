// Device creation and its fallbacks, and the recording graphics service the other tests stand on.
#include "platform/Gfx.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/modMain.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "platform/testing/RecordingGfx.h"
#include "platform/testing/ScriptedWindow.h"
#include "tests/GfxTestSupport.h"

namespace kuvo::testing {
namespace {

class DeviceCreation : public ::testing::Test {
 protected:
  RecordingGfx gfx;
  ScriptedWindow window;
  void SetUp() override {
    Host.gfx = &gfx;
    Host.window = &window;
  }
  void TearDown() override {
    ReleaseDevice3D();
    Host.gfx = nullptr;
    Host.window = nullptr;
  }
  // The present parameters as logged: they follow adapter, type, focus window and flags.
  static std::vector<double> Parameters(const RecordedCall& c) {
    return std::vector<double>(c.args.begin() + 4, c.args.end());
  }
};

TEST_F(DeviceCreation, CallsParametersAndFixedStateInOrder) {
  CreateDevice3D();
  ASSERT_NE(Device, nullptr);
  EXPECT_EQ(Direct3D, &gfx);
  std::vector<std::string_view> expected = {"Direct3D::GetAdapterDisplayMode", "Direct3D::CheckDeviceMultiSampleType",
                                            "Direct3D::CreateDevice", "Device::SetRenderState"};
  for (int stage = 0; stage < 3; ++stage)
    for (int k = 0; k < 4; ++k) expected.push_back("Device::SetSamplerState");
  ASSERT_EQ(gfx.Names(), expected);
  const auto& c = gfx.Calls();
  EXPECT_EQ(c[0].args, (std::vector<double>{0}));
  EXPECT_EQ(c[1].args, (std::vector<double>{0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, 1, 4, 1}));
  // Adapter 0, HAL, the window as focus, hardware vertex processing with the FPU preserved.
  EXPECT_EQ(std::vector<double>(c[2].args.begin(), c[2].args.begin() + 4), (std::vector<double>{0, 1, 1, 0x42}));
  // Width, height, format, count, 4 samples, quality, discard, no device window, windowed, depth buffer
  // D24S8, flags, refresh rate, interval one.
  EXPECT_EQ(Parameters(c[2]), (std::vector<double>{0, 0, 0, 0, 4, 0, 1, 0, 1, 1, 75, 0, 0, 1}));
  EXPECT_EQ(c[3].args, (std::vector<double>{22, 3}));
  const double samplerStates[4][2] = {{7, 2}, {5, 2}, {6, 3}, {10, 8}};
  for (int stage = 0; stage < 3; ++stage)
    for (int k = 0; k < 4; ++k)
      EXPECT_EQ(c[4 + 4 * stage + k].args,
                (std::vector<double>{double(stage), samplerStates[k][0], samplerStates[k][1]}));

  RecordingDevice* device = gfx.Device();
  ASSERT_EQ(device, Device);
  EXPECT_EQ(device->SamplerState(2, D3DSAMP_MAXANISOTROPY), 8u);
  EXPECT_EQ(device->SamplerState(3, D3DSAMP_MAXANISOTROPY), 1u);  // stage 3 keeps the default

  gfx.ClearLog();
  ReleaseDevice3D();
  EXPECT_EQ(gfx.Names(), (std::vector<std::string_view>{"Device::Release", "Direct3D::Release"}));
  EXPECT_EQ(Device, nullptr);
  EXPECT_EQ(Direct3D, nullptr);
  EXPECT_EQ(gfx.Device(), nullptr);
}

TEST_F(DeviceCreation, FailedMultisampleCheckMeansNoMultisampling) {
  gfx.FailCall("CheckDeviceMultiSampleType", 1, D3DERR_NOTAVAILABLE);
  CreateDevice3D();
  ASSERT_NE(Device, nullptr);
  EXPECT_EQ(gfx.Device()->Parameters().MultiSampleType, D3DMULTISAMPLE_NONE);
  EXPECT_EQ(gfx.Count("CreateDevice"), 1);
}

TEST_F(DeviceCreation, FailedFirstCreationFallsBackToSoftwareVertexProcessing) {
  gfx.FailCall("CreateDevice", 1, D3DERR_NOTAVAILABLE);
  CreateDevice3D();
  ASSERT_NE(Device, nullptr);
  auto creations = gfx.CallsNamed("CreateDevice");
  ASSERT_EQ(creations.size(), 2u);
  EXPECT_EQ(creations[0]->result, D3DERR_NOTAVAILABLE);
  EXPECT_EQ(creations[1]->args[3], 0x22);
  EXPECT_EQ(gfx.Device()->BehaviorFlags(), 0x22u);
  EXPECT_EQ(gfx.Device()->Parameters().MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
  EXPECT_EQ(gfx.Count("SetSamplerState"), 12);
}

TEST_F(DeviceCreation, NoDeviceOrNoDisplayModeEndsTheRun) {
  gfx.FailCall("CreateDevice", 0, D3DERR_NOTAVAILABLE);
  try {
    CreateDevice3D();
    ADD_FAILURE() << "no error raised";
  } catch (const DeviceError& e) {
    EXPECT_EQ(e.Code(), D3DERR_NOTAVAILABLE);
  }
  EXPECT_EQ(Device, nullptr);
  EXPECT_EQ(gfx.Count("SetRenderState"), 0);

  gfx.ClearFailures();
  gfx.FailCall("GetAdapterDisplayMode");
  EXPECT_THROW(CreateDevice3D(), DeviceError);
  EXPECT_EQ(gfx.Count("CreateDevice"), 2);  // only the two above

  gfx.ClearFailures();
  gfx.FailCall("SetSamplerState", 5, E_FAIL);
  EXPECT_THROW(CreateDevice3D(), DeviceError);
}

class RecordingBackend : public ::testing::Test {
 protected:
  RecordingGfx gfx;
  GfxDevice* device = nullptr;
  void SetUp() override {
    GfxPresentParameters p{};
    p.Windowed = true;
    ASSERT_EQ(gfx.CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x42, &p, &device), S_OK);
    BindDrawingState(device);
    gfx.ClearLog();
  }
  void TearDown() override {
    if (device) device->Release();
  }
  // A 16-bit index buffer holding `indices`.
  GfxIndexBuffer* IndexBufferOf(std::initializer_list<std::uint16_t> indices) {
    GfxIndexBuffer* ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(static_cast<std::uint32_t>(2 * indices.size()), 0, D3DFMT_INDEX16, 1, &ib,
                                        nullptr),
              S_OK);
    void* data = nullptr;
    EXPECT_EQ(ib->Lock(0, 0, &data, 0), S_OK);
    std::memcpy(data, std::data(indices), 2 * indices.size());
    EXPECT_EQ(ib->Unlock(), S_OK);
    return ib;
  }
};

TEST_F(RecordingBackend, TextureLevelsKeepTheLockedBytes) {
  GfxTexture* texture = nullptr;
  ASSERT_EQ(device->CreateTexture(8, 4, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            S_OK);
  EXPECT_EQ(texture->GetLevelCount(), 1u);  // the device makes the rest
  GfxSurface* surface = nullptr;
  EXPECT_EQ(texture->GetSurfaceLevel(1, &surface), D3DERR_INVALIDCALL);
  EXPECT_EQ(surface, nullptr);
  ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);

  GfxLockedRect locked{};
  GfxRect whole{0, 0, 8, 4};
  ASSERT_EQ(surface->LockRect(&locked, &whole, 0), S_OK);
  EXPECT_EQ(locked.Pitch, 32);
  GfxLockedRect again{};
  EXPECT_EQ(surface->LockRect(&again, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
  auto* bits = static_cast<std::uint8_t*>(locked.pBits);
  for (int i = 0; i < 8 * 4 * 4; ++i) bits[i] = static_cast<std::uint8_t>(i);
  ASSERT_EQ(surface->UnlockRect(), S_OK);
  EXPECT_EQ(surface->UnlockRect(), D3DERR_INVALIDCALL);

  // A sub-rectangle starts at its own corner, rows a full level apart.
  GfxRect part{2, 1, 4, 3};
  ASSERT_EQ(surface->LockRect(&locked, &part, 0), S_OK);
  static_cast<std::uint8_t*>(locked.pBits)[locked.Pitch] = 0xEE;  // blue of pixel (2, 2)
  ASSERT_EQ(surface->UnlockRect(), S_OK);
  GfxRect outside{6, 0, 9, 1};
  EXPECT_EQ(surface->LockRect(&locked, &outside, 0), D3DERR_INVALIDCALL);

  // The texture goes, the surface keeps its level alive until it goes too.
  auto* recorded = dynamic_cast<RecordingTexture*>(texture);
  ASSERT_NE(recorded, nullptr);
  EXPECT_EQ(recorded->Pixel(0, 1, 0), 0x07060504u);
  EXPECT_EQ(recorded->Pixel(0, 2, 2), 0x4B4A49EEu);
  EXPECT_EQ(recorded->Uploads(), 2);
  EXPECT_EQ(texture->Release(), 1u);
  EXPECT_EQ(recorded->Pixel(0, 7, 3), 0x7F7E7D7Cu);
  surface->Release();

  // Without the generated chain every level is there and reachable.
  ASSERT_EQ(device->CreateTexture(256, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
  EXPECT_EQ(texture->GetLevelCount(), 9u);
  ASSERT_EQ(texture->GetSurfaceLevel(8, &surface), S_OK);
  EXPECT_EQ(dynamic_cast<RecordingTexture*>(texture)->LevelBytes(8).size(), 4u);
  surface->Release();
  texture->Release();
  EXPECT_EQ(device->CreateTexture(8, 8, 0, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &texture, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture, nullptr);
}

TEST_F(RecordingBackend, FailuresByNameAndOccurrence) {
  GfxVertexBuffer* vb = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(40, 0, 0x212, 1, &vb, nullptr), S_OK);
  void* data = nullptr;
  gfx.FailCall("Lock", 2, E_OUTOFMEMORY);
  EXPECT_EQ(vb->Lock(0, 0, &data, 0), S_OK);
  EXPECT_EQ(vb->Unlock(), S_OK);
  EXPECT_EQ(vb->Lock(0, 0, &data, 0), E_OUTOFMEMORY);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(vb->Lock(0, 0, &data, 0), S_OK);  // the rule is spent
  EXPECT_EQ(vb->Unlock(), S_OK);

  gfx.FailCall("Device::BeginScene", 0);
  EXPECT_EQ(device->BeginScene(), E_FAIL);
  EXPECT_EQ(device->BeginScene(), E_FAIL);
  gfx.ClearFailures();
  EXPECT_EQ(device->BeginScene(), S_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);  // no nested scenes
  EXPECT_EQ(device->EndScene(), S_OK);
  EXPECT_EQ(gfx.Count("BeginScene"), 4);
  EXPECT_EQ(gfx.CallsNamed("VertexBuffer::Lock").size(), 3u);
  EXPECT_EQ(gfx.CallsNamed("Lock")[1]->result, E_OUTOFMEMORY);
  vb->Release();
}

TEST_F(RecordingBackend, CountOnlyModeKeepsContentsButNoLog) {
  gfx.SetKeepLog(false);
  GfxIndexBuffer* ib = nullptr;
  ASSERT_EQ(device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, 1, &ib, nullptr), S_OK);
  void* data = nullptr;
  ASSERT_EQ(ib->Lock(0, 6, &data, 0), S_OK);
  const std::uint16_t indices[3] = {0, 1, 2};
  std::memcpy(data, indices, 6);
  ASSERT_EQ(ib->Unlock(), S_OK);
  for (int i = 0; i < 1000; ++i) device->SetRenderState(D3DRS_ZENABLE, i & 1);
  EXPECT_TRUE(gfx.Calls().empty());
  EXPECT_EQ(gfx.Count("SetRenderState"), 1000);
  EXPECT_EQ(dynamic_cast<RecordingIndexBuffer*>(ib)->Index(2), 2u);
  EXPECT_EQ(gfx.Device()->RenderState(D3DRS_ZENABLE), 1u);
  ib->Release();
}

// Counting only, a call that changes nothing answers without the full way: it must still be counted, still
// refuse what is invalid, still meet a failure rule, and still be noted in an order.
TEST_F(RecordingBackend, CountedCallsTakingTheShortWayAreCheckedAndCountedAlike) {
  gfx.SetKeepLog(false);
  RecordingDevice& recorded = *gfx.Device();
  GfxVertexBuffer* vb = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(3 * 40, 0, 0x212, 1, &vb, nullptr), S_OK);
  GfxIndexBuffer* ib = IndexBufferOf({0, 1, 2});
  const long streams = gfx.Count("SetStreamSource"), bindings = gfx.Count("SetIndices");
  const long draws = gfx.Count("DrawIndexedPrimitive");
  for (int pass = 0; pass < 3; ++pass) {
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, 40), S_OK);
    ASSERT_EQ(device->SetIndices(ib), S_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 3, 0, 1), D3DERR_INVALIDCALL);
  }
  EXPECT_EQ(gfx.Count("SetStreamSource"), streams + 3);
  EXPECT_EQ(gfx.Count("SetIndices"), bindings + 3);
  EXPECT_EQ(gfx.Count("DrawIndexedPrimitive"), draws + 6);
  // The same buffer on another stream, or at another offset, is not the binding there already.
  EXPECT_EQ(device->SetStreamSource(1, vb, 0, 40), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetStreamSource(0, vb, 40, 40), S_OK);
  EXPECT_EQ(recorded.StreamOffset(), 40u);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
  // States and constants: a valid call is kept, an invalid one refused and not kept.
  EXPECT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);
  EXPECT_EQ(device->SetRenderState(D3DRS_CULLMODE, 9), D3DERR_INVALIDCALL);
  EXPECT_EQ(recorded.RenderState(D3DRS_CULLMODE), static_cast<std::uint32_t>(D3DCULL_NONE));
  const float four[4] = {1, 2, 3, 4};
  EXPECT_EQ(device->SetVertexShaderConstantF(254, four, 1), S_OK);
  EXPECT_EQ(recorded.VertexConstant(254)[3], 4.0f);
  EXPECT_EQ(device->SetVertexShaderConstantF(254, four, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetPixelShaderConstantF(223, four, 1), S_OK);
  EXPECT_EQ(recorded.PixelConstant(223)[0], 1.0f);
  EXPECT_EQ(device->SetPixelShaderConstantF(0, nullptr, 1), D3DERR_INVALIDCALL);
  GfxTexture* texture = nullptr;
  ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
  ASSERT_EQ(device->SetTexture(0, texture), S_OK);
  EXPECT_EQ(device->SetTexture(0, texture), S_OK);
  EXPECT_EQ(device->SetTexture(16, texture), D3DERR_INVALIDCALL);  // past the last stage, not stage 0 again
  // A failure rule or an order takes every call the full way again.
  gfx.FailCall("SetIndices", 1, E_OUTOFMEMORY);
  EXPECT_EQ(device->SetIndices(ib), E_OUTOFMEMORY);
  EXPECT_EQ(device->SetIndices(ib), S_OK);
  gfx.FailCall("SetTexture", 0);
  EXPECT_EQ(device->SetTexture(0, texture), E_FAIL);
  gfx.ClearFailures();
  CallOrder order;
  gfx.SetOrder(&order);
  EXPECT_EQ(device->SetIndices(ib), S_OK);
  EXPECT_EQ(device->SetVertexShaderConstantF(0, four, 1), S_OK);
  gfx.SetOrder(nullptr);
  EXPECT_EQ(order.calls, (std::vector<std::string>{"gfx Device::SetIndices", "gfx Device::SetVertexShaderConstantF"}));
  EXPECT_TRUE(gfx.Calls().empty());
  EXPECT_EQ(device->SetTexture(0, nullptr), S_OK);
  EXPECT_EQ(device->SetStreamSource(0, nullptr, 0, 0), S_OK);
  EXPECT_EQ(device->SetIndices(nullptr), S_OK);
  texture->Release();
  vb->Release();
  ib->Release();
}

TEST_F(RecordingBackend, DrawsAreCheckedAgainstTheBoundBuffers) {
  GfxVertexBuffer* vb = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(3 * 40, 0, 0x212, 1, &vb, nullptr), S_OK);
  GfxIndexBuffer* ib = IndexBufferOf({0, 1, 2, 2, 1, 3});  // the second triangle reaches a fourth vertex
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);  // nothing bound
  ASSERT_EQ(device->SetStreamSource(0, vb, 0, 40), S_OK);
  ASSERT_EQ(device->SetIndices(ib), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 3, 2), D3DERR_INVALIDCALL);  // past the end
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 3, 0, 1), D3DERR_INVALIDCALL);  // base past it
  // A draw that passed fails again once what it reaches changes: fewer vertices past the stream's offset.
  EXPECT_EQ(device->SetStreamSource(0, vb, 40, 40), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetStreamSource(0, vb, 0, 40), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);

  // Bound objects outlive the game's reference until they are unbound.
  EXPECT_EQ(vb->Release(), 1u);
  EXPECT_EQ(ib->Release(), 1u);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);
  // ... and without a declaration the same draw fails.
  EXPECT_EQ(device->SetVertexDeclaration(nullptr), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetStreamSource(0, nullptr, 0, 0), S_OK);
  EXPECT_EQ(device->SetIndices(nullptr), S_OK);
}

TEST_F(RecordingBackend, DrawRangesFollowEveryUnlockOfTheIndices) {
  GfxVertexBuffer* vb = nullptr;
  GfxIndexBuffer* ib = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(4 * 40, 0, 0x212, 1, &vb, nullptr), S_OK);
  ASSERT_EQ(device->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, 1, &ib, nullptr), S_OK);
  auto write = [&](std::initializer_list<std::uint16_t> indices) {
    void* data = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), S_OK);
    std::memcpy(data, std::data(indices), 2 * indices.size());
    ASSERT_EQ(ib->Unlock(), S_OK);
  };
  ASSERT_EQ(device->SetStreamSource(0, vb, 0, 40), S_OK);
  ASSERT_EQ(device->SetIndices(ib), S_OK);

  write({0, 1, 2, 2, 1, 3});
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  // The second triangle alone: its indices 1..3 fit a range from 1, not one from 2, whatever the whole buffer holds.
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 1, 3, 3, 1), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 2, 2, 3, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 3, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 1, 3, 3, 1), S_OK);  // vertices 0..2
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);

  // A rewrite that reaches past the vertices fails the same draw; one that comes back passes it again.
  write({0, 1, 2, 2, 1, 4});
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 5, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), S_OK);
  write({1, 1, 2, 2, 1, 3});
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 1, 3, 0, 2), S_OK);  // no index 0 any more

  // While locked, the draw reads the bytes as they are now.
  void* data = nullptr;
  ASSERT_EQ(ib->Lock(0, 0, &data, 0), S_OK);
  static_cast<std::uint16_t*>(data)[0] = 7;
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 1), S_OK);
  ASSERT_EQ(ib->Unlock(), S_OK);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);

  // Another backend's objects are refused, not taken for this one's.
  struct Foreign final : GfxIndexBuffer {
    HRESULT Lock(std::uint32_t, std::uint32_t, void**, std::uint32_t) override { return S_OK; }
    HRESULT Unlock() override { return S_OK; }
    std::uint32_t Release() override { return 0; }
  } foreign;
  EXPECT_EQ(device->SetIndices(&foreign), D3DERR_INVALIDCALL);
  EXPECT_EQ(gfx.Calls().back().args, (std::vector<double>{0}));
  EXPECT_EQ(device->SetStreamSource(0, nullptr, 0, 0), S_OK);
  EXPECT_EQ(device->SetIndices(nullptr), S_OK);
  vb->Release();
  ib->Release();
}

TEST_F(RecordingBackend, DeclarationsShadersAndConstantsAreKept) {
  // The 40-byte mesh declaration, packed by hand as the game packs it.
  const std::uint8_t packed[40] = {0, 0, 0, 0, 2, 0, 0,  0, 0, 0, 12, 0, 2,    0, 3, 0, 0,  0, 24, 0,
                                   1, 0, 5, 0, 0, 0, 32, 0, 1, 0, 5,  1, 0xFF, 0, 0, 0, 17, 0, 0,  0};
  GfxVertexDeclaration* declaration = nullptr;
  ASSERT_EQ(device->CreateVertexDeclaration(packed, &declaration), S_OK);
  const auto& elements = dynamic_cast<RecordingVertexDeclaration*>(declaration)->Elements();
  ASSERT_EQ(elements.size(), 5u);
  EXPECT_EQ(elements[3].Offset, 32);
  EXPECT_EQ(elements[3].UsageIndex, 1);
  EXPECT_EQ(elements[4].Type, D3DDECLTYPE_UNUSED);

  // vs_2_0: a comment of 2 tokens, "mov oPos, v0" (length 2), end.
  const std::uint32_t vs[] = {0xFFFE0200, 0x0002FFFE, 0xFFFFFFFF, 0x0000FFFF,
                              0x02000001, 0xC00F0000, 0x90E40000, 0x0000FFFF};
  GfxVertexShader* vertexShader = nullptr;
  ASSERT_EQ(device->CreateVertexShader(vs, &vertexShader), S_OK);
  EXPECT_EQ(dynamic_cast<RecordingVertexShader*>(vertexShader)->Tokens().size(), 8u);
  GfxPixelShader* pixelShader = nullptr;
  EXPECT_EQ(device->CreatePixelShader(vs, &pixelShader), D3DERR_INVALIDCALL);  // a vertex shader's version

  const float tint[4] = {0.3f, 0.2f, 0.2f, 1.0f};
  ASSERT_EQ(device->SetPixelShaderConstantF(0, tint, 1), S_OK);
  EXPECT_EQ(gfx.Device()->PixelConstant(0)[3], 1.0f);
  EXPECT_EQ(gfx.Calls().back().args, (std::vector<double>{0, 1, 0.3f, 0.2f, 0.2f, 1.0f}));
  EXPECT_EQ(device->SetVertexShaderConstantF(255, tint, 2), D3DERR_INVALIDCALL);

  ASSERT_EQ(device->SetVertexDeclaration(declaration), S_OK);
  ASSERT_EQ(device->SetVertexShader(vertexShader), S_OK);
  declaration->Release();
  vertexShader->Release();
  EXPECT_EQ(gfx.Device()->VertexShader()->Tokens()[4], 0x02000001u);
}

}  // namespace
}  // namespace kuvo::testing
