// The graphics service on OpenGL: a Direct3D-9-shaped adapter whose devices draw into an SdlWindow
// through an OpenGL 2.1+ compatibility context, running the game's Direct3D 9 shader tokens through
// MojoShader. Needs framebuffer objects and sampler objects (core in 3.3, extensions before); uses clip
// control, anisotropic filtering, base vertex and texture swizzles where the driver has them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Gfx.h"

namespace kuvo {

class SdlWindow;

class GlGfx final : public Gfx {
 public:
  explicit GlGfx(SdlWindow& window);
  ~GlGfx() override = default;

  HRESULT GetAdapterDisplayMode(std::uint32_t adapter, GfxDisplayMode* mode) override;
  // Answers from the GL implementation's sample counts; the first call opens a short-lived context to ask.
  // A software renderer (Mesa's llvmpipe, softpipe) answers that it has no multisampling at speed.
  HRESULT CheckDeviceMultiSampleType(std::uint32_t adapter, std::uint32_t deviceType, std::uint32_t surfaceFormat,
                                     bool windowed, std::uint32_t multiSampleType,
                                     std::uint32_t* qualityLevels) override;
  HRESULT CreateDevice(std::uint32_t adapter, std::uint32_t deviceType, Window* focusWindow,
                       std::uint32_t behaviorFlags, GfxPresentParameters* parameters, GfxDevice** device) override;
  std::uint32_t Release() override { return 0; }

  // Why the last CreateDevice failed, for the one line the game prints.
  const std::string& LastProblem() const { return problem_; }
  // For measuring the drawing itself: devices created afterwards present as fast as they can, and
  // offer at most `samples` samples.
  void SetUnpaced(bool unpaced) { unpaced_ = unpaced; }
  void LimitSamples(int samples) { sampleLimit_ = samples; }
  // Devices created afterwards filter anisotropically on Mesa's software renderers too (slow; for tests).
  void AllowSoftwareAnisotropy(bool allow) { softwareAnisotropy_ = allow; }
  // For measuring what multisampling costs on a software renderer: the check offers its samples too.
  void OfferSlowMultisampling(bool offer) { slowMultisampling_ = offer; }
  // For comparing pictures and costs: devices created afterwards hand every triangle to a software
  // renderer, those that cover no pixel centre too.
  void SiftTriangles(bool sift) { siftTriangles_ = sift; }

 private:
  bool Probe();

  SdlWindow& window_;
  bool probed_ = false;
  int maxSamples_ = 0;
  int sampleLimit_ = 16;
  bool software_ = false;
  bool slowMultisampling_ = false;
  bool unpaced_ = false;
  bool softwareAnisotropy_ = false;
  bool siftTriangles_ = true;
  std::string problem_;
};

// A device's back buffer as last drawn (after Present too), resolved from its samples: rows top first,
// red, green, blue, alpha bytes. Fails for a device of another backend.
HRESULT ReadBackBuffer(GfxDevice* device, int& width, int& height, std::vector<std::uint8_t>& rgba);
// The sample count of a GL device's back buffer (0 without multisampling); -1 for another backend.
int BackBufferSamples(GfxDevice* device);
// Whether a GL device draws straight into its window's buffer (no multisampling) rather than its own.
bool DrawsIntoWindow(GfxDevice* device);
// Whether a GL device's renderer works on the CPU (Mesa's llvmpipe, softpipe).
bool SoftwareRendered(GfxDevice* device);
// Presents that showed the window's picture again instead of drawing a frame with the same inputs.
long FramesShownAgain(GfxDevice* device);
// Triangles a GL device drew, and those it left out for covering no pixel centre; -1 for another backend.
long TrianglesDrawn(GfxDevice* device);
long TrianglesLeftOut(GfxDevice* device);
// Render and sampler state changes that reached GL so far; a repeated value must not count. -1 for another backend.
long GlStateCalls(GfxDevice* device);
// What a GL device found in its driver: the version (major * 10 + minor) and the optional features it
// uses. All zero for another backend.
struct GlDeviceFeatures {
  int version = 0;
  bool clipControl = false, anisotropy = false, baseVertex = false, swizzle = false;
};
GlDeviceFeatures DeviceFeatures(GfxDevice* device);
// Objects of this backend alive in the process, devices included: 0 once everything is released.
long GlObjectsAlive();

}  // namespace kuvo
