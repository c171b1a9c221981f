// The GL device: back buffer, state with its cache, bindings, drawing through MojoShader, presentation.
#include "platform/gl/GlDevice.h"

#include "platform/gl/GlCoverage.h"
#include "platform/gl/GlShaderTokens.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>

#include "platform/GfxRules.h"

namespace kuvo::gl {

namespace {

// The render states the device applies, with the value Direct3D gives each at device creation.
struct RenderStateRow {
  std::uint32_t state;
  std::uint32_t initial;
};
constexpr RenderStateRow kRenderStates[] = {
    {D3DRS_ZENABLE, 1},                  // (7) depth test: on, as the automatic depth buffer makes it
    {D3DRS_ZWRITEENABLE, 1},             // (14) depth writes
    {D3DRS_SRCBLEND, D3DBLEND_ONE},      // (19) source blend factor
    {D3DRS_DESTBLEND, D3DBLEND_ZERO},    // (20) destination blend factor
    {D3DRS_CULLMODE, D3DCULL_CCW},       // (22) counter-clockwise faces culled
    {D3DRS_ALPHABLENDENABLE, 0},         // (27) blending
};
static_assert(sizeof(kRenderStates) / sizeof(kRenderStates[0]) == 6);

// Sampler states the device applies, with their values at creation: wrap, point, no mipmaps, anisotropy 1.
struct SamplerStateRow {
  std::uint32_t type;
  std::uint32_t initial;
};
constexpr SamplerStateRow kSamplerStates[] = {
    {D3DSAMP_ADDRESSU, 1},                // (1) wrap
    {D3DSAMP_ADDRESSV, 1},                // (2) wrap
    {D3DSAMP_MAGFILTER, D3DTEXF_POINT},   // (5)
    {D3DSAMP_MINFILTER, D3DTEXF_POINT},   // (6)
    {D3DSAMP_MIPFILTER, D3DTEXF_NONE},    // (7)
    {D3DSAMP_MAXANISOTROPY, 1},           // (10)
};
static_assert(sizeof(kSamplerStates) / sizeof(kSamplerStates[0]) == 6);

void SetEnabled(GLenum capability, bool on) {
  if (on) glEnable(capability);
  else glDisable(capability);
}

}  // namespace

bool SoftwareRenderer() {
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe"));
}

GlDevice::GlDevice(std::shared_ptr<Context> context, const GfxPresentParameters& parameters, bool paced,
                   int refreshHz)
    : Counted(std::move(context)),
      parameters_(parameters),
      paced_(paced),
      period_(std::chrono::nanoseconds(1000000000LL / std::max(1, refreshHz))),
      samples_(static_cast<int>(parameters.MultiSampleType)) {}

HRESULT GlDevice::Initialise(int width, int height) {
  glGetError();
  direct_ = samples_ == 0 && WindowBufferFits();
  HRESULT hr = MakeBackBuffer(width, height);
  if (Failed(hr)) return hr;
  // Direct3D's clip space: depth 0..1, so a point behind the near plane is clipped, not drawn. Without
  // clip control the vertex shaders remap depth (GlShaderTokens.h).
  if (context_->clipControl) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
  glDepthFunc(GL_LEQUAL);  // Direct3D's default depth comparison
  if (context_->anisotropy) glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy_);
  // Mesa's software renderers filter anisotropically on the CPU: at 8 taps it made a 1280 x 720 frame on
  // llvmpipe three times slower. They get trilinear filtering, as a device whose maximum is 1 would.
  software_ = SoftwareRenderer();
  if (software_ && !context_->softwareAnisotropy) maxAnisotropy_ = 1.0f;
  if (software_ && context_->siftTriangles) glGenBuffers(1, &coveringIndices_);
  glGenSamplers(kStages, samplers_);
  for (std::uint32_t stage = 0; stage < kStages; ++stage) {
    for (const SamplerStateRow& row : kSamplerStates) samplerStates_[stage][row.type] = row.initial;
    ApplySampler(stage, samplerStates_[stage]);
    glBindSampler(stage, samplers_[stage]);
  }
  for (const RenderStateRow& row : kRenderStates) renderStates_[row.state] = glRenderStates_[row.state] = row.initial;
  for (const RenderStateRow& row : kRenderStates) ApplyRenderState(row.state);
  SDL_AddEventWatch(WatchWindow, this);
  return GlResult();
}

GlDevice::~GlDevice() {
  SDL_DelEventWatch(WatchWindow, this);
  if (lastPresenter_ == this) lastPresenter_ = nullptr;
  context_->pending.clear();  // a scene never presented shows nothing
  if (!context_->MakeCurrent()) return;
  ReleaseBindings();
  for (auto& entry : context_->programs) MOJOSHADER_glDeleteProgram(entry.second);
  context_->programs.clear();
  glDeleteSamplers(kStages, samplers_);
  if (coveringIndices_) glDeleteBuffers(1, &coveringIndices_);
  FreeBackBuffer();
  MOJOSHADER_glMakeContextCurrent(nullptr);
  MOJOSHADER_glDestroyContext(context_->mojo);
  SDL_GL_MakeCurrent(context_->window, nullptr);
  SDL_GL_DeleteContext(context_->gl);
  context_->alive = false;
}

std::uint32_t GlDevice::Release() { return Drop(); }

void GlDevice::ReleaseBindings() {
  MOJOSHADER_glBindProgram(nullptr);
  program_ = nullptr;
  for (auto*& texture : textures_) BindObject(texture, static_cast<GfxTexture*>(nullptr));
  BindObject(stream_, static_cast<GfxVertexBuffer*>(nullptr));
  BindObject(indices_, static_cast<GfxIndexBuffer*>(nullptr));
  BindObject(declaration_, static_cast<GfxVertexDeclaration*>(nullptr));
  BindObject(vertexShader_, static_cast<GfxVertexShader*>(nullptr));
  BindObject(pixelShader_, static_cast<GfxPixelShader*>(nullptr));
}

// ---- Back buffer ----

// The window's own buffer can be the back buffer when it has what the device promises: 8-bit colour and alpha,
// D24S8, two buffers. SdlWindow asks for that visual; a window made elsewhere may lack it.
bool GlDevice::WindowBufferFits() {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  // The window's visual, known from its creation; its buffers may not exist yet before it is mapped.
  GLint red = 0, alpha = 0, depth = 0, stencil = 0;
  GLboolean doubled = GL_FALSE;
  glGetIntegerv(GL_RED_BITS, &red);
  glGetIntegerv(GL_ALPHA_BITS, &alpha);
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  glGetIntegerv(GL_STENCIL_BITS, &stencil);
  glGetBooleanv(GL_DOUBLEBUFFER, &doubled);
  bool fits = glGetError() == GL_NO_ERROR && red == 8 && alpha == 8 && depth == 24 && stencil == 8 && doubled;
  glGetError();
  return fits;
}

HRESULT GlDevice::MakeBackBuffer(int width, int height) {
  if (direct_) {
    // Without multisampling the device draws into the window's buffer, so Present has nothing to copy.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    width_ = width;
    height_ = height;
    glViewport(0, 0, width, height);
    SetFixUpConstant();
    return GlResult();
  }
  glGenFramebuffers(1, &framebuffer_);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glGenRenderbuffers(1, &colour_);
  glGenRenderbuffers(1, &depth_);
  glBindRenderbuffer(GL_RENDERBUFFER, colour_);
  glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
  glBindRenderbuffer(GL_RENDERBUFFER, depth_);
  glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_DEPTH24_STENCIL8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_);
  HRESULT hr = GlResult();
  if (Failed(hr)) return hr;
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return D3DERR_NOTAVAILABLE;
  width_ = width;
  height_ = height;
  glViewport(0, 0, width, height);
  SetFixUpConstant();
  return S_OK;
}

// Half a pixel in clip units is 1 / size. It is taken 63/64 short (as wined3d does): an edge on Direct3D's
// pixel centres then falls just short of GL's, so both keep the top and left edges' pixels and drop the
// right and bottom edges' (Direct3D's top-left rule); sampling moves by 1/128 of a pixel.
void GlDevice::SetFixUpConstant() {
  const float fixUp[4] = {kHalfPixel / static_cast<float>(width_), -kHalfPixel / static_cast<float>(height_), 2.0f,
                          0.0f};
  MOJOSHADER_glSetVertexShaderUniformF(kFixUpConstant, fixUp, 1);
}

void GlDevice::FreeBackBuffer() {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &framebuffer_);
  glDeleteRenderbuffers(1, &colour_);
  glDeleteRenderbuffers(1, &depth_);
  framebuffer_ = colour_ = depth_ = 0;
}

void GlDevice::FollowWindowSize() {
  int width, height;
  SDL_GL_GetDrawableSize(context_->window, &width, &height);
  if (width <= 0 || height <= 0 || (width == width_ && height == height_)) return;  // minimised, or unchanged
  stale_ = true;
  if (direct_) {
    // Mesa's X11 software path (drisw) learns a window's new size only at a swap; this one shows the
    // last frame once more, and the frame being begun replaces it.
    SDL_GL_SwapWindow(context_->window);
  }
  FreeBackBuffer();
  if (Failed(MakeBackBuffer(width, height))) {
    FreeBackBuffer();
    MakeBackBuffer(width_, height_);
  }
}

HRESULT GlDevice::ReadBackBuffer(int& width, int& height, std::vector<std::uint8_t>& rgba) {
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  context_->Flush();
  glGetError();
  width = width_;
  height = height_;
  GLuint resolved = 0, resolvedColour = 0;
  if (samples_ > 0) {
    // Multisampled pixels cannot be read directly: resolve them into a plain buffer first.
    glGenFramebuffers(1, &resolved);
    glGenRenderbuffers(1, &resolvedColour);
    glBindRenderbuffer(GL_RENDERBUFFER, resolvedColour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolvedColour);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, resolved);
  } else {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    // After Present the window's back buffer still holds the presented frame on Mesa's X11 software path,
    // the one where the device draws into the window (a GPU multisamples into its own framebuffer).
    if (direct_) glReadBuffer(GL_BACK);
  }
  std::vector<std::uint8_t> bottomUp(static_cast<std::size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  if (resolved) {
    glDeleteFramebuffers(1, &resolved);
    glDeleteRenderbuffers(1, &resolvedColour);
  }
  rgba.resize(bottomUp.size());
  std::size_t row = static_cast<std::size_t>(width) * 4;
  for (int y = 0; y < height; ++y)
    std::memcpy(rgba.data() + row * y, bottomUp.data() + row * (height - 1 - y), row);
  return GlResult();
}

// ---- State ----

HRESULT GlDevice::SetRenderState(std::uint32_t state, std::uint32_t value) {
  if (HRESULT hr = gfxrules::RenderState(state, value); Failed(hr)) return hr;
  if (renderStates_[state] == value) return S_OK;
  renderStates_[state] = value;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  ++stateCalls_;
  Note({1, state, value});
  Run([this, state, value] {
    glRenderStates_[state] = value;
    ApplyRenderState(state);
  });
  return S_OK;
}

void GlDevice::ApplyRenderState(std::uint32_t state) {
  std::uint32_t value = glRenderStates_[state];
  switch (state) {
    case D3DRS_ZENABLE: SetEnabled(GL_DEPTH_TEST, value != 0); break;
    case D3DRS_ZWRITEENABLE: glDepthMask(value ? GL_TRUE : GL_FALSE); break;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
      glBlendFunc(kBlend[glRenderStates_[D3DRS_SRCBLEND]], kBlend[glRenderStates_[D3DRS_DESTBLEND]]);
      break;
    case D3DRS_CULLMODE: ApplyCull(); break;
    case D3DRS_ALPHABLENDENABLE: SetEnabled(GL_BLEND, value != 0); break;
  }
}

void GlDevice::ApplyCull() {
  const CullMode& mode = kCull[glRenderStates_[D3DRS_CULLMODE]];
  SetEnabled(GL_CULL_FACE, mode.enabled);
  glFrontFace(mode.frontFace);
  glCullFace(GL_BACK);
}

HRESULT GlDevice::SetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value) {
  if (HRESULT hr = gfxrules::SamplerState(sampler, type, value); Failed(hr)) return hr;
  if (samplerStates_[sampler][type] == value) return S_OK;
  samplerStates_[sampler][type] = value;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  ++stateCalls_;
  Note({2, sampler, type, value});
  Run([this, sampler, values = samplerStates_[sampler]] { ApplySampler(sampler, values); });
  return S_OK;
}

void GlDevice::ApplySampler(std::uint32_t stage, const SamplerValues& s) {
  GLuint sampler = samplers_[stage];
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(kAddress[s[D3DSAMP_ADDRESSU]]));
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(kAddress[s[D3DSAMP_ADDRESSV]]));
  glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(kMagFilter[s[D3DSAMP_MAGFILTER]]));
  glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER,
                      static_cast<GLint>(kMinFilter[s[D3DSAMP_MINFILTER]][s[D3DSAMP_MIPFILTER]]));
  // Direct3D applies its maximum anisotropy only where a filter asks for anisotropic filtering.
  bool anisotropic = s[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || s[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
  GLfloat anisotropy = anisotropic ? std::clamp(static_cast<GLfloat>(s[D3DSAMP_MAXANISOTROPY]), 1.0f, maxAnisotropy_)
                                   : 1.0f;
  if (context_->anisotropy) glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, anisotropy);
}

// ---- Scene and presentation ----

HRESULT GlDevice::BeginScene() {
  if (HRESULT hr = gfxrules::BeginScene(inScene_); Failed(hr)) return hr;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  context_->Flush();
  FollowWindowSize();
  inScene_ = true;
  context_->flushed = false;
  touched_ = fullClear_ = false;
  frame_.clear();
  NoteState();
  return S_OK;
}

// Frames are compared from the state they start from: every value a call may rely on without setting it.
void GlDevice::NoteState() {
  Note({static_cast<std::uint64_t>(width_), static_cast<std::uint64_t>(height_)});
  for (const RenderStateRow& row : kRenderStates) Note({renderStates_[row.state]});
  for (const SamplerValues& stage : samplerStates_)
    for (std::uint32_t value : stage) Note({value});
  for (float c : vertexConstants_) Note({std::bit_cast<std::uint32_t>(c)});
  for (float c : pixelConstants_) Note({std::bit_cast<std::uint32_t>(c)});
  NoteBound();
}

// What a draw reads besides its arguments: the bound objects, with their contents' versions.
void GlDevice::NoteBound() {
  auto id = [](const Counted* object) { return object ? object->Serial() : 0; };
  auto version = [](const Counted* object) { return object ? object->Version() : 0u; };
  for (const GlTextureObject* texture : textures_) Note({id(texture), version(texture)});
  Note({id(stream_), version(stream_), streamOffset_, streamStride_, id(indices_), version(indices_), id(declaration_),
        id(vertexShader_), id(pixelShader_)});
}

void GlDevice::Note(std::initializer_list<std::uint64_t> words) {
  if (inScene_) frame_.insert(frame_.end(), words);
}

void GlDevice::Run(std::function<void()> step) {
  if (inScene_) {
    context_->pending.push_back(std::move(step));
    return;
  }
  context_->Flush();  // a call between EndScene and Present comes after the scene's work
  step();
}

// A window uncovered or shown again may have lost its picture: the next frame is drawn whatever it is.
int GlDevice::WatchWindow(void* data, SDL_Event* event) {
  auto* device = static_cast<GlDevice*>(data);
  if (event->type == SDL_WINDOWEVENT && event->window.windowID == SDL_GetWindowID(device->context_->window))
    device->stale_ = true;
  return 1;
}

HRESULT GlDevice::EndScene() {
  if (HRESULT hr = gfxrules::EndScene(inScene_); Failed(hr)) return hr;
  inScene_ = false;
  return S_OK;
}

HRESULT GlDevice::Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags, std::uint32_t colour, float z,
                        std::uint32_t stencil) {
  if (HRESULT hr = gfxrules::Clear(count, rects, flags, z, parameters_.EnableAutoDepthStencil); Failed(hr)) return hr;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  constexpr std::uint32_t kWhole = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
  if (!touched_) fullClear_ = count == 0 && (flags & kWhole) == kWhole;
  touched_ = true;
  std::vector<GfxRect> areas(rects, rects + count);
  Note({3, flags, colour, std::bit_cast<std::uint32_t>(z), stencil, count});
  for (const GfxRect& r : areas)
    Note({static_cast<std::uint32_t>(r.left), static_cast<std::uint32_t>(r.top), static_cast<std::uint32_t>(r.right),
          static_cast<std::uint32_t>(r.bottom)});
  Run([this, flags, colour, z, stencil, areas = std::move(areas)] {
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
      mask |= GL_COLOR_BUFFER_BIT;
      glClearColor(((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f, (colour & 0xFF) / 255.0f,
                   ((colour >> 24) & 0xFF) / 255.0f);
    }
    // Direct3D clears depth and stencil whatever the write masks say; GL obeys them, so open them here.
    if (flags & D3DCLEAR_ZBUFFER) {
      mask |= GL_DEPTH_BUFFER_BIT;
      glClearDepth(z);
      glDepthMask(GL_TRUE);
    }
    if (flags & D3DCLEAR_STENCIL) {
      mask |= GL_STENCIL_BUFFER_BIT;
      glClearStencil(static_cast<GLint>(stencil));
    }
    if (areas.empty()) {
      glClear(mask);
    } else {
      glEnable(GL_SCISSOR_TEST);
      for (const GfxRect& r : areas) {
        glScissor(r.left, height_ - r.bottom, r.right - r.left, r.bottom - r.top);  // GL counts rows from the bottom
        glClear(mask);
      }
      glDisable(GL_SCISSOR_TEST);
    }
    glDepthMask(glRenderStates_[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
  });
  return inScene_ ? S_OK : GlResult();
}

HRESULT GlDevice::Present(const GfxRect* sourceRect, const GfxRect* destRect, Window* overrideWindow,
                          const void* dirtyRegion) {
  if (HRESULT hr = gfxrules::Present(sourceRect, destRect, overrideWindow, dirtyRegion); Failed(hr)) return hr;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  glGetError();
  // The same inputs as the frame the window shows give the same pixels: that frame is shown again.
  bool again = !stale_ && lastPresenter_ == this && fullClear_ && !context_->flushed && frame_ == lastFrame_;
  if (again) {
    context_->pending.clear();
    ++shownAgain_;
  } else {
    context_->Flush();
    if (!direct_) {
      glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
      glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
      glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    }
    SDL_GL_SwapWindow(context_->window);
  }
  lastFrame_.swap(frame_);
  frame_.clear();
  fullClear_ = false;
  stale_ = false;
  lastPresenter_ = this;
  if (paced_) WaitForRefresh();
  return GlResult();
}

// Presents keep to a grid of refresh periods. A frame that comes late is shown at once and the next ones
// make the time up, so a few slow frames among fast ones (a busy machine) cost no refreshes; only after
// a stall of several periods (a start, a window dragged) does the grid start afresh.
void GlDevice::WaitForRefresh() {
  constexpr int kForgivenPeriods = 4;
  auto now = std::chrono::steady_clock::now();
  if (nextPresent_ + kForgivenPeriods * period_ < now) nextPresent_ = now;
  else std::this_thread::sleep_until(nextPresent_);
  nextPresent_ += period_;
}

// ---- Creation and binding ----

HRESULT GlDevice::CreateVertexBuffer(std::uint32_t length, std::uint32_t, std::uint32_t, std::uint32_t pool,
                                     GfxVertexBuffer** buffer, void* shared) {
  if (buffer) *buffer = nullptr;
  if (HRESULT hr = gfxrules::CreateVertexBuffer(length, pool, buffer, shared); Failed(hr)) return hr;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  auto* created = new GlVertexBufferObject(context_, length);
  HRESULT hr = created->Create();
  if (Failed(hr)) {
    created->Release();
    return hr;
  }
  *buffer = created;
  return S_OK;
}

HRESULT GlDevice::CreateIndexBuffer(std::uint32_t length, std::uint32_t, std::uint32_t format, std::uint32_t pool,
                                    GfxIndexBuffer** buffer, void* shared) {
  if (buffer) *buffer = nullptr;
  if (HRESULT hr = gfxrules::CreateIndexBuffer(length, format, pool, buffer, shared); Failed(hr)) return hr;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  auto* created = new GlIndexBufferObject(context_, length, format == D3DFMT_INDEX32 ? 4 : 2);
  HRESULT hr = created->Create();
  if (Failed(hr)) {
    created->Release();
    return hr;
  }
  *buffer = created;
  return S_OK;
}

HRESULT GlDevice::CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels, std::uint32_t usage,
                                std::uint32_t format, std::uint32_t pool, GfxTexture** texture, void* shared) {
  if (texture) *texture = nullptr;
  if (!texture || !context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  HRESULT rule = gfxrules::CreateTexture(width, height, levels, usage, format, pool, texture, shared,
                                         static_cast<std::uint32_t>(std::max(maxSize, 0)));
  if (Failed(rule)) return rule;
  bool autogen = (usage & D3DUSAGE_AUTOGENMIPMAP) != 0;
  auto* created = new GlTextureObject(context_, width, height, levels, autogen, format == D3DFMT_X8R8G8B8);
  HRESULT hr = created->Create();
  if (Failed(hr)) {
    created->Release();
    return hr;
  }
  *texture = created;
  return S_OK;
}

HRESULT GlDevice::CreateVertexDeclaration(const void* elements, GfxVertexDeclaration** declaration) {
  if (declaration) *declaration = nullptr;
  std::vector<GfxVertexElement> list;
  if (HRESULT hr = gfxrules::CreateVertexDeclaration(elements, declaration, list); Failed(hr)) return hr;
  std::vector<GlDeclarationObject::Input> inputs;
  list.pop_back();  // the end marker
  for (const GfxVertexElement& e : list)
    inputs.push_back({kUsage[e.Usage], e.UsageIndex, kDeclTypeSize[e.Type], e.Offset});
  *declaration = new GlDeclarationObject(context_, std::move(inputs));
  return S_OK;
}

HRESULT GlDevice::CompileShader(const void* function, std::uint32_t kind, MOJOSHADER_glShader** out) {
  *out = nullptr;
  std::size_t length = gfxrules::ShaderTokens(function, kind);
  if (length == 0 || !context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  std::vector<std::uint32_t> rewritten = RewriteForGl(static_cast<const std::uint32_t*>(function),
                                                      static_cast<std::uint32_t>(length),
                                                      TokenRewrite{!context_->clipControl});
  if (rewritten.empty()) return D3DERR_INVALIDCALL;
  *out = MOJOSHADER_glCompileShader(reinterpret_cast<const unsigned char*>(rewritten.data()),
                                    static_cast<unsigned>(rewritten.size() * 4), nullptr, 0, nullptr, 0);
  return *out ? S_OK : D3DERR_INVALIDCALL;
}

HRESULT GlDevice::CreateVertexShader(const void* function, GfxVertexShader** shader) {
  if (!shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  MOJOSHADER_glShader* compiled;
  HRESULT hr = CompileShader(function, 0xFFFEu, &compiled);
  if (Failed(hr)) return hr;
  const auto* tokens = static_cast<const std::uint32_t*>(function);
  *shader = new GlVertexShaderObject(
      context_, compiled,
      FindPositionTransform(tokens, static_cast<std::uint32_t>(gfxrules::ShaderTokens(function, 0xFFFEu))));
  return S_OK;
}

HRESULT GlDevice::CreatePixelShader(const void* function, GfxPixelShader** shader) {
  if (!shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  MOJOSHADER_glShader* compiled;
  HRESULT hr = CompileShader(function, 0xFFFFu, &compiled);
  if (Failed(hr)) return hr;
  *shader = new GlPixelShaderObject(context_, compiled);
  return S_OK;
}

// Binding holds a reference, so an object the game releases while bound lives on until replaced.
template <class Object, class Interface>
HRESULT GlDevice::BindObject(Object*& slot, Interface* object) {
  auto* mine = dynamic_cast<Object*>(object);
  if (object && !mine) return D3DERR_INVALIDCALL;
  if (mine == slot) return S_OK;
  if (mine) mine->AddRef();
  if (slot) slot->Drop();
  slot = mine;
  return S_OK;
}

HRESULT GlDevice::SetStreamSource(std::uint32_t stream, GfxVertexBuffer* buffer, std::uint32_t offset,
                                  std::uint32_t stride) {
  if (HRESULT hr = gfxrules::StreamSource(stream); Failed(hr)) return hr;
  HRESULT hr = BindObject(stream_, buffer);
  if (Failed(hr)) return hr;
  streamOffset_ = offset;
  streamStride_ = stride;
  return S_OK;
}

HRESULT GlDevice::SetIndices(GfxIndexBuffer* buffer) { return BindObject(indices_, buffer); }

HRESULT GlDevice::SetTexture(std::uint32_t stage, GfxTexture* texture) {
  if (HRESULT hr = gfxrules::TextureStage(stage); Failed(hr)) return hr;
  GlTextureObject* before = textures_[stage];
  HRESULT hr = BindObject(textures_[stage], texture);
  if (Failed(hr) || textures_[stage] == before) return hr;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  Run([stage, name = textures_[stage] ? textures_[stage]->Name() : 0] {
    glActiveTexture(GL_TEXTURE0 + stage);
    glBindTexture(GL_TEXTURE_2D, name);
  });
  return S_OK;
}

HRESULT GlDevice::SetVertexDeclaration(GfxVertexDeclaration* declaration) {
  return BindObject(declaration_, declaration);
}

HRESULT GlDevice::SetVertexShader(GfxVertexShader* shader) { return BindObject(vertexShader_, shader); }

HRESULT GlDevice::SetPixelShader(GfxPixelShader* shader) { return BindObject(pixelShader_, shader); }

HRESULT GlDevice::SetVertexShaderConstantF(std::uint32_t startRegister, const float* data, std::uint32_t count) {
  if (HRESULT hr = gfxrules::ShaderConstants(startRegister, data, count, gfxrules::kVertexConstants); Failed(hr))
    return hr;
  static_assert(kFixUpConstant == gfxrules::kVertexConstants, "the register after the game's is the device's own");
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  std::copy(data, data + 4 * count, vertexConstants_.begin() + 4 * startRegister);
  std::vector<float> values(data, data + 4 * count);
  Note({4, startRegister, count});
  for (float v : values) Note({std::bit_cast<std::uint32_t>(v)});
  Run([startRegister, count, values = std::move(values)] {
    MOJOSHADER_glSetVertexShaderUniformF(startRegister, values.data(), count);
  });
  return S_OK;
}

HRESULT GlDevice::SetPixelShaderConstantF(std::uint32_t startRegister, const float* data, std::uint32_t count) {
  if (HRESULT hr = gfxrules::ShaderConstants(startRegister, data, count, gfxrules::kPixelConstants); Failed(hr))
    return hr;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;
  std::copy(data, data + 4 * count, pixelConstants_.begin() + 4 * startRegister);
  std::vector<float> values(data, data + 4 * count);
  Note({5, startRegister, count});
  for (float v : values) Note({std::bit_cast<std::uint32_t>(v)});
  Run([startRegister, count, values = std::move(values)] {
    MOJOSHADER_glSetPixelShaderUniformF(startRegister, values.data(), count);
  });
  return S_OK;
}

// ---- Drawing ----

// A software renderer pays for every triangle it sets up, even one smaller than a pixel that covers none
// (most of a ball's 4,000): a large triangle list whose positions are one matrix product is sifted on
// the CPU first. Multisampled targets have other sample points and are left alone.
GlDevice::Coverage GlDevice::CoverageFor(std::uint32_t type, std::int32_t baseVertexIndex,
                                         std::uint32_t primitiveCount) const {
  constexpr std::uint32_t kTriangleList = 4, kFewestTriangles = 256;
  Coverage coverage;
  const PositionTransform& transform = vertexShader_->Position();
  if (!software_ || samples_ != 0 || type != kTriangleList || primitiveCount < kFewestTriangles ||
      !transform.Known() || !coveringIndices_)
    return coverage;
  for (const GlDeclarationObject::Input& input : declaration_->Inputs()) {
    if (input.usage != MOJOSHADER_USAGE_POSITION || input.index != 0) continue;
    if (input.size < 3 || streamOffset_ > stream_->Length()) return coverage;
    std::copy_n(vertexConstants_.begin() + 4 * transform.constant, 16, coverage.rows);
    coverage.positions = {stream_->Bytes() + streamOffset_, stream_->Length() - streamOffset_, streamStride_,
                          input.offset, input.size, baseVertexIndex};
    // GL culls the faces not wound as the front face, after the transform.
    const CullMode& cull = kCull[renderStates_[D3DRS_CULLMODE]];
    const int culledWinding = !cull.enabled ? 0 : cull.frontFace == GL_CCW ? -1 : 1;
    coverage.target = {width_, height_, kHalfPixel / static_cast<float>(width_),
                       -kHalfPixel / static_cast<float>(height_), culledWinding};
    coverage.vertices = stream_;
    coverage.indices = indices_;
    return coverage;
  }
  return coverage;
}

HRESULT GlDevice::DrawIndexedPrimitive(std::uint32_t type, std::int32_t baseVertexIndex, std::uint32_t minVertexIndex,
                                       std::uint32_t numVertices, std::uint32_t startIndex,
                                       std::uint32_t primitiveCount) {
  gfxrules::DrawInputs in{vertexShader_ && pixelShader_,
                          declaration_ != nullptr,
                          stream_ ? gfxrules::StreamVertices(stream_->Length(), streamOffset_, streamStride_) : 0,
                          indices_ ? &indices_->Data() : nullptr,
                          indices_ ? indices_->Bytes() : nullptr,
                          indices_ && indices_->Locked(),
                          indices_ ? indices_->Serial() : 0};
  HRESULT rule = gfxrules::DrawIndexedPrimitive(type, baseVertexIndex, minVertexIndex, numVertices, startIndex,
                                                primitiveCount, in, scanned_);
  if (Failed(rule)) return rule;
  const Primitive& primitive = kPrimitive[type];
  std::uint64_t count = std::uint64_t{primitiveCount} * primitive.perPrimitive + primitive.extra;
  if (!context_->MakeCurrent()) return D3DERR_INVALIDCALL;

  auto key = std::make_pair(vertexShader_->Shader(), pixelShader_->Shader());
  auto found = context_->programs.find(key);
  MOJOSHADER_glProgram* program = nullptr;
  if (found != context_->programs.end()) {
    program = found->second;
  } else {
    program = MOJOSHADER_glLinkProgram(key.first, key.second);
    if (!program) return D3DERR_INVALIDCALL;
    context_->programs.emplace(key, program);
    program_ = nullptr;  // whatever linking left bound, the next draw binds its own
  }
  if (!inScene_) glGetError();
  // Without base vertex support the base moves the attribute pointers instead, as far as it may.
  std::int64_t start = streamOffset_;
  if (!context_->baseVertex) start += std::int64_t{baseVertexIndex} * streamStride_;
  if (start < 0) return D3DERR_INVALIDCALL;
  touched_ = true;
  Note({6, type, static_cast<std::uint32_t>(baseVertexIndex), startIndex, primitiveCount});
  NoteBound();
  Run([this, program, mode = primitive.mode, count, baseVertexIndex, startIndex, inputs = declaration_->Inputs(),
       stream = stream_->Name(), start, stride = streamStride_, indices = indices_->Name(),
       indexSize = indices_->IndexSize(), baseVertex = context_->baseVertex,
       coverage = CoverageFor(type, baseVertexIndex, primitiveCount)]() mutable {
    GLuint indexBuffer = indices;
    std::uintptr_t first = std::uintptr_t{startIndex} * indexSize;
    if (coverage.vertices) {
      std::size_t kept =
          KeepCoveringTriangles(coverage.rows, coverage.positions, coverage.indices->Bytes() + first, indexSize,
                                static_cast<std::uint32_t>(count), coverage.target, covering_);
      trianglesLeftOut_ += static_cast<long>((count - kept) / 3);
      if (kept == 0) return;  // no pixel to draw
      if (kept < count) {
        indexBuffer = coveringIndices_;
        first = 0;
        count = kept;
      }
    }
    if (program != program_) {
      MOJOSHADER_glBindProgram(program);
      program_ = program;
    }
    glBindBuffer(GL_ARRAY_BUFFER, stream);
    for (const GlDeclarationObject::Input& input : inputs)
      MOJOSHADER_glSetVertexAttribute(
          input.usage, input.index, static_cast<unsigned>(input.size), MOJOSHADER_ATTRIBUTE_FLOAT, 0, stride,
          reinterpret_cast<const void*>(static_cast<std::uintptr_t>(start) + std::uintptr_t{input.offset}));
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    if (indexBuffer == coveringIndices_)
      glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(covering_.size()), covering_.data(),
                   GL_STREAM_DRAW);
    MOJOSHADER_glProgramReady();
    GLenum indexType = indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    const void* offset = reinterpret_cast<const void*>(first);
    if (mode == GL_TRIANGLES) trianglesDrawn_ += static_cast<long>(count / 3);
    if (baseVertex)
      glDrawElementsBaseVertex(mode, static_cast<GLsizei>(count), indexType, offset, baseVertexIndex);
    else
      glDrawElements(mode, static_cast<GLsizei>(count), indexType, offset);
    // llvmpipe rasterises what it has queued only when flushed: flushed after each draw, its threads fill
    // one draw's pixels while this thread transforms and sets up the next one's triangles.
    if (software_) glFlush();
  });
  return inScene_ ? S_OK : GlResult();
}

}  // namespace kuvo::gl
