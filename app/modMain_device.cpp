// The rendering device, the order of one frame, and window activation.
#include "app/modMain.h"
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

void RenderFrame() {}

void ReleaseDevice3D() {
  if (Device) Device->Release();
  Device = nullptr;
  if (Direct3D) Direct3D->Release();
  Direct3D = nullptr;
}

void SubclassWndProc(bool active) { Paused = !active; }

}  // namespace kuvo
