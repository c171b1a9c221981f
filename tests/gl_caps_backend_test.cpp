// Device creation on older drivers, as Mesa imitates them with MESA_GL_VERSION_OVERRIDE and
// MESA_EXTENSION_OVERRIDE. CTest runs this once per imitated driver, with the outcome it must give in
// KUVO_EXPECT_GL: "version=21 clipControl=0 anisotropy=1 baseVertex=1 swizzle=1", or "refused=" and the
// words the one line printed for the player must contain.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Gfx.h"
#include "platform/gl/GlGfx.h"
#include "platform/sdl/SdlVideo.h"
#include "platform/sdl/SdlWindow.h"

using namespace kuvo;

namespace {

TEST(GlDriver, CreatesTheDeviceOrNamesWhatIsMissing) {
  if (std::string why = DisplayProblem(); !why.empty()) GTEST_SKIP() << why << " (scripts/test runs this under Xvfb)";
  const char* expectation = std::getenv("KUVO_EXPECT_GL");
  ASSERT_NE(expectation, nullptr) << "run by CTest with KUVO_EXPECT_GL and Mesa's overrides";
  std::string expected = expectation;

  SdlWindow window("Kuvo driver test", 64, 64);
  GlGfx gfx(window);
  GfxPresentParameters p{};
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.Windowed = true;
  p.EnableAutoDepthStencil = true;
  p.AutoDepthStencilFormat = D3DFMT_D24S8;
  p.PresentationInterval = 0x80000000u;  // immediate
  GfxDevice* device = nullptr;
  HRESULT hr = gfx.CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &p, &device);

  const std::string refused = "refused=";
  if (expected.rfind(refused, 0) == 0) {
    EXPECT_EQ(hr, D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    EXPECT_NE(gfx.LastProblem().find(expected.substr(refused.size())), std::string::npos)
        << "the refusal says: " << gfx.LastProblem();
    if (device) device->Release();
    return;
  }
  ASSERT_EQ(hr, S_OK) << gfx.LastProblem();
  ASSERT_NE(device, nullptr);
  GlDeviceFeatures f = DeviceFeatures(device);
  char found[96];
  std::string version = expected.rfind("version=any ", 0) == 0 ? "any" : std::to_string(f.version);
  std::snprintf(found, sizeof found, "version=%s clipControl=%d anisotropy=%d baseVertex=%d swizzle=%d",
                version.c_str(), f.clipControl ? 1 : 0, f.anisotropy ? 1 : 0, f.baseVertex ? 1 : 0, f.swizzle ? 1 : 0);
  EXPECT_GE(f.version, 21);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(GlObjectsAlive(), 0);
}

}  // namespace
