// The adapter: display mode, multisample answers and device creation on an OpenGL context.
#include "platform/gl/GlGfx.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>

#include "platform/gl/GlDevice.h"
#include "platform/sdl/SdlWindow.h"

namespace kuvo {

namespace {

void* LookUp(const char* name, void*) { return SDL_GL_GetProcAddress(name); }

// A 2.1 compatibility context: MojoShader's glsl120 output needs the fixed-function varyings.
// Mesa and the big drivers hand out their newest compatibility version for it.
SDL_GLContext CreateContext(SDL_Window* window) {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
  return SDL_GL_CreateContext(window);
}

// The version glGetString reports, as major * 10 + minor: GL_MAJOR_VERSION does not exist before 3.0.
int GlVersion() {
  const char* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  int major = 0, minor = 0;
  if (!text || std::sscanf(text, "%d.%d", &major, &minor) != 2) return 0;
  return major * 10 + std::min(minor, 9);
}

// The extension list: one string before 3.0, indexed strings from 3.0 on (the context is a compatibility
// one, so either works there; the indexed one cannot be misread).
std::set<std::string> Extensions(int version) {
  std::set<std::string> names;
  if (version >= 30) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i)
      if (const auto* e = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i))))
        names.insert(e);
  } else if (const auto* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS))) {
    std::string list = all;
    for (std::size_t at = 0; at < list.size();) {
      std::size_t end = std::min(list.find(' ', at), list.size());
      if (end > at) names.insert(list.substr(at, end - at));
      at = end + 1;
    }
  }
  return names;
}

// What the device needs beyond GL 2.1, each by the version that made it core or by its extension;
// SDL_GL_GetProcAddress answers for any name at all, so only the version and the list can tell. Clip
// control, anisotropic filtering, base vertex and texture swizzles are optional: the context records
// which way the device goes without each.
std::string MissingFeatures(gl::Context& context) {
  int version = GlVersion();
  if (version < 21)
    return "OpenGL 2.1; this one has " + std::to_string(version / 10) + "." + std::to_string(version % 10);
  std::set<std::string> extensions = Extensions(version);
  auto has = [&](int core, std::initializer_list<const char*> names) {
    if (version >= core) return true;
    for (const char* name : names)
      if (extensions.count(name)) return true;
    return false;
  };
  struct Need {
    int core;
    std::initializer_list<const char*> names;
    const char* what;
  };
  const Need needs[] = {
      {30, {"GL_ARB_framebuffer_object"}, "the back buffer's framebuffer, its samples and its resolve"},
      {33, {"GL_ARB_sampler_objects"}, "per-stage sampler states"},
  };
  std::string missing;
  for (const Need& need : needs)
    if (!has(need.core, need.names))
      missing += (missing.empty() ? "" : ", ") + std::string(*need.names.begin()) + " (" + need.what + ")";
  context.version = version;
  context.baseVertex = has(32, {"GL_ARB_draw_elements_base_vertex"});
  context.swizzle = has(33, {"GL_ARB_texture_swizzle", "GL_EXT_texture_swizzle"});
  context.clipControl = has(45, {"GL_ARB_clip_control"});
  context.anisotropy = has(46, {"GL_ARB_texture_filter_anisotropic", "GL_EXT_texture_filter_anisotropic"});
  return missing;
}

// Restores whatever context was current (the menu's, a test's) when a probe is done.
class CurrentContextGuard {
 public:
  CurrentContextGuard() : window_(SDL_GL_GetCurrentWindow()), context_(SDL_GL_GetCurrentContext()) {}
  ~CurrentContextGuard() {
    if (context_) SDL_GL_MakeCurrent(window_, context_);
  }

 private:
  SDL_Window* window_;
  SDL_GLContext context_;
};

}  // namespace

GlGfx::GlGfx(SdlWindow& window) : window_(window) {}

HRESULT GlGfx::GetAdapterDisplayMode(std::uint32_t adapter, GfxDisplayMode* mode) {
  if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
  SDL_DisplayMode current;
  if (SDL_GetCurrentDisplayMode(0, &current) != 0) return D3DERR_NOTAVAILABLE;
  *mode = GfxDisplayMode{static_cast<std::uint32_t>(current.w), static_cast<std::uint32_t>(current.h),
                         static_cast<std::uint32_t>(current.refresh_rate), D3DFMT_X8R8G8B8};
  return S_OK;
}

bool GlGfx::Probe() {
  if (probed_) return maxSamples_ >= 0;
  probed_ = true;
  CurrentContextGuard guard;
  SDL_GLContext context = CreateContext(window_.Handle());
  if (!context) {
    maxSamples_ = -1;
    problem_ = std::string("no OpenGL context: ") + SDL_GetError();
    return false;
  }
  glGetIntegerv(GL_MAX_SAMPLES, &maxSamples_);
  software_ = gl::SoftwareRenderer();
  SDL_GL_DeleteContext(context);
  return true;
}

HRESULT GlGfx::CheckDeviceMultiSampleType(std::uint32_t adapter, std::uint32_t deviceType,
                                          std::uint32_t surfaceFormat, bool, std::uint32_t multiSampleType,
                                          std::uint32_t* qualityLevels) {
  if (qualityLevels) *qualityLevels = 0;
  if (adapter != D3DADAPTER_DEFAULT || deviceType != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
  if (surfaceFormat != D3DFMT_A8R8G8B8 && surfaceFormat != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
  // D3DMULTISAMPLE_NONMASKABLE (1) has no GL counterpart; 2..16 are sample counts.
  if (multiSampleType == 1 || multiSampleType > 16) return D3DERR_NOTAVAILABLE;
  if (multiSampleType != 0 && (!Probe() || static_cast<int>(multiSampleType) > std::min(maxSamples_, sampleLimit_)))
    return D3DERR_NOTAVAILABLE;
  // A renderer on the CPU runs every pass about twice as long with 4 samples: 17-21 frames a second at
  // 1280 x 720 on llvmpipe against 36-39 without. It answers as a device without them, as Direct3D's
  // reference rasteriser would be refused, and the game draws without multisampling.
  if (multiSampleType != 0 && software_ && !slowMultisampling_) return D3DERR_NOTAVAILABLE;
  if (qualityLevels) *qualityLevels = 1;
  return S_OK;
}

HRESULT GlGfx::CreateDevice(std::uint32_t adapter, std::uint32_t deviceType, Window* focusWindow,
                            std::uint32_t behaviorFlags, GfxPresentParameters* parameters, GfxDevice** device) {
  if (!device) return D3DERR_INVALIDCALL;
  *device = nullptr;
  problem_.clear();
  auto* window = dynamic_cast<SdlWindow*>(parameters && parameters->hDeviceWindow ? parameters->hDeviceWindow
                                                                                   : focusWindow);
  // Exactly one way of processing vertices; the GL device runs them all in the shaders either way.
  std::uint32_t processing = behaviorFlags & (D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                              D3DCREATE_SOFTWARE_VERTEXPROCESSING | 0x80 /* MIXED */);
  bool oneProcessing = processing != 0 && (processing & (processing - 1)) == 0;
  if (adapter != D3DADAPTER_DEFAULT || deviceType != D3DDEVTYPE_HAL || !parameters || !window || !oneProcessing ||
      (behaviorFlags & D3DCREATE_MULTITHREADED)) {
    problem_ = "unsupported device request";
    return D3DERR_INVALIDCALL;
  }
  const GfxPresentParameters& p = *parameters;
  bool formatOk = p.BackBufferFormat == D3DFMT_UNKNOWN || p.BackBufferFormat == D3DFMT_X8R8G8B8 ||
                  p.BackBufferFormat == D3DFMT_A8R8G8B8;
  bool depthOk = !p.EnableAutoDepthStencil || p.AutoDepthStencilFormat == D3DFMT_D24S8;
  if (!p.Windowed || !formatOk || !depthOk || p.MultiSampleType == 1 || p.MultiSampleType > 16) {
    problem_ = "unsupported presentation parameters";
    return D3DERR_INVALIDCALL;
  }
  int samples = static_cast<int>(p.MultiSampleType);
  if (samples != 0 && (!Probe() || samples > std::min(maxSamples_, sampleLimit_))) {
    problem_ = "no " + std::to_string(p.MultiSampleType) + "-sample back buffer";
    return D3DERR_NOTAVAILABLE;
  }

  auto context = std::make_shared<gl::Context>();
  context->window = window->Handle();
  context->gl = CreateContext(context->window);
  if (!context->gl) {
    problem_ = std::string("no OpenGL context: ") + SDL_GetError();
    return D3DERR_NOTAVAILABLE;
  }
  context->alive = true;
  SDL_GL_MakeCurrent(context->window, context->gl);
  context->softwareAnisotropy = softwareAnisotropy_;
  context->siftTriangles = siftTriangles_;
  std::string missing = MissingFeatures(*context);
  if (missing.empty()) {
    // glsl120 by name: MojoShader's best pick here would be SPIR-V, which this context cannot take.
    context->mojo = MOJOSHADER_glCreateContext(MOJOSHADER_PROFILE_GLSL120, LookUp, nullptr, nullptr, nullptr, nullptr);
    if (!context->mojo) missing = std::string("MojoShader: ") + MOJOSHADER_glGetError();
  }
  if (!missing.empty()) {
    problem_ = "the OpenGL implementation lacks " + missing;
    context->alive = false;
    SDL_GL_MakeCurrent(context->window, nullptr);
    SDL_GL_DeleteContext(context->gl);
    return D3DERR_NOTAVAILABLE;
  }
  MOJOSHADER_glMakeContextCurrent(context->mojo);

  // Presentation waits for the display's refresh; where the swap cannot wait (no vsync, as on a
  // virtual display) the device waits by the clock instead, so the game never draws faster than shown.
  bool immediate = unpaced_ || p.PresentationInterval == 0x80000000u;  // D3DPRESENT_INTERVAL_IMMEDIATE
  bool synced = SDL_GL_SetSwapInterval(immediate ? 0 : 1) == 0;
  SDL_DisplayMode mode;
  int refresh = SDL_GetWindowDisplayMode(context->window, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;

  int width = static_cast<int>(p.BackBufferWidth), height = static_cast<int>(p.BackBufferHeight);
  if (width == 0 || height == 0) SDL_GL_GetDrawableSize(context->window, &width, &height);
  auto* created = new gl::GlDevice(context, p, !immediate && !synced, refresh);
  HRESULT hr = created->Initialise(width, height);
  if (Failed(hr)) {
    problem_ = "cannot make the back buffer";
    created->Release();
    return hr;
  }
  parameters->BackBufferWidth = static_cast<std::uint32_t>(width);
  parameters->BackBufferHeight = static_cast<std::uint32_t>(height);
  if (parameters->BackBufferFormat == D3DFMT_UNKNOWN) parameters->BackBufferFormat = D3DFMT_X8R8G8B8;
  *device = created;
  return S_OK;
}

HRESULT ReadBackBuffer(GfxDevice* device, int& width, int& height, std::vector<std::uint8_t>& rgba) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  if (!gl) return D3DERR_INVALIDCALL;
  return gl->ReadBackBuffer(width, height, rgba);
}

int BackBufferSamples(GfxDevice* device) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  return gl ? gl->Samples() : -1;
}

bool DrawsIntoWindow(GfxDevice* device) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  return gl && gl->DrawsIntoWindow();
}

bool SoftwareRendered(GfxDevice* device) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  return gl && gl->Software();
}

long FramesShownAgain(GfxDevice* device) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  return gl ? gl->FramesShownAgain() : -1;
}

long TrianglesDrawn(GfxDevice* device) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  return gl ? gl->TrianglesDrawn() : -1;
}

long TrianglesLeftOut(GfxDevice* device) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  return gl ? gl->TrianglesLeftOut() : -1;
}

long GlStateCalls(GfxDevice* device) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  return gl ? gl->StateCalls() : -1;
}

GlDeviceFeatures DeviceFeatures(GfxDevice* device) {
  auto* gl = dynamic_cast<gl::GlDevice*>(device);
  if (!gl) return {};
  const gl::Context& c = gl->Driver();
  return {c.version, c.clipControl, c.anisotropy, c.baseVertex, c.swizzle};
}

long GlObjectsAlive() { return gl::Counted::alive; }

}  // namespace kuvo
