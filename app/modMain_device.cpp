// The rendering device, the order of one frame, and window activation.
#include "app/modMain.h"
#include "geometry/modModels.h"
#include "platform/Errors.h"
#include "platform/Gfx.h"
#include "platform/Platform.h"

namespace kuvo {

Gfx* Direct3D = nullptr;
GfxDevice* Device = nullptr;

void CreateDevice3D() {
  // The platform's graphics service stands in for Direct3DCreate9(D3D_SDK_VERSION).
  Direct3D = Host.gfx;
  if (!Direct3D) throw DeviceError("Direct3DCreate9", D3DERR_NOTAVAILABLE);
  GfxDisplayMode mode{};
  Check(Direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), "Direct3D::GetAdapterDisplayMode");

  // Back buffer of the window's client area in the display's format; presentation waits for the
  // vertical retrace, which paces the normal-play frame rate.
  GfxPresentParameters parameters{};
  parameters.BackBufferFormat = D3DFMT_UNKNOWN;
  parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = true;
  parameters.EnableAutoDepthStencil = true;
  parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_ONE;

  // A failed check only means no multisampling.
  std::uint32_t quality = 0;
  if (!Failed(Direct3D->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, true,
                                                   D3DMULTISAMPLE_4_SAMPLES, &quality)))
    parameters.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;

  // Hardware vertex processing first, software if that gives no device; the FPU is left in the
  // double-precision mode the game's arithmetic relies on.
  Device = nullptr;
  Direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Host.window,
                         D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &parameters, &Device);
  if (!Device) {
    HRESULT hr =
        Direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Host.window,
                               D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &parameters, &Device);
    // Without a device nothing can be drawn: end the run here, naming the call, rather than at first use.
    if (!Device) throw DeviceError("Direct3D::CreateDevice", Failed(hr) ? hr : E_FAIL);
  }

  Check(Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW), "Device::SetRenderState");
  for (std::uint32_t stage = 0; stage < 3; ++stage) {
    Check(Device->SetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR), "Device::SetSamplerState");
    Check(Device->SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), "Device::SetSamplerState");
    Check(Device->SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC), "Device::SetSamplerState");
    Check(Device->SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, 8), "Device::SetSamplerState");
  }
}

namespace {

// A frame never ends the game: a failing call of the frame's own is skipped (its result dropped), and a
// failing pass is abandoned where it failed.
void RunPass(void (*pass)()) {
  try {
    pass();
  } catch (const DeviceError&) {
  }
}

}  // namespace

void RenderFrame() {
  (void)Device->BeginScene();
  (void)Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);

  (void)Device->SetRenderState(D3DRS_ALPHABLENDENABLE, false);
  (void)Device->SetRenderState(D3DRS_ZENABLE, true);
  (void)Device->SetRenderState(D3DRS_ZWRITEENABLE, true);
  RunPass(DrawTable);
  RunPass(DrawBalls);
  if (!GameOver) RunPass(DrawCue);

  // Shadows darken: the frame is multiplied by one minus the shadow's colour, depth-tested, not written.
  (void)Device->SetRenderState(D3DRS_ZWRITEENABLE, false);
  (void)Device->SetRenderState(D3DRS_ALPHABLENDENABLE, true);
  (void)Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
  (void)Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR);
  RunPass(DrawBallShadows);

  // The text line adds on top of everything; its black leaves the picture as it is.
  (void)Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  (void)Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  (void)Device->SetRenderState(D3DRS_ZENABLE, false);
  RunPass(DrawHud);

  (void)Device->EndScene();
  (void)Device->Present(nullptr, nullptr, nullptr, nullptr);
}

void ReleaseDevice3D() {
  if (Device) Device->Release();
  Device = nullptr;
  if (Direct3D) Direct3D->Release();
  Direct3D = nullptr;
}

void SubclassWndProc(bool active) { Paused = !active; }

}  // namespace kuvo
