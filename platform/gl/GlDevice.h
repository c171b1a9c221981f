// The OpenGL device and the objects it makes, behind the Direct3D-9-shaped graphics service. Private to
// platform/gl/: everything here may include GL, SDL and MojoShader.
#pragma once
#include <SDL.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Gfx.h"
#include "platform/GfxRules.h"
#include "platform/gl/GlCoverage.h"
#include "platform/gl/GlShaderTokens.h"
#include "platform/gl/GlTables.h"

namespace kuvo::gl {

class GlVertexShaderObject;

// Half a pixel in clip units, 63/64 short (GlDevice::SetFixUpConstant).
constexpr float kHalfPixel = 63.0f / 64.0f;
class GlPixelShaderObject;

// The GL context, its MojoShader context and the linked programs, shared by the device and every
// object it made, so an object released after the device finds the context gone and only frees memory.
struct Context {
  SDL_Window* window = nullptr;
  SDL_GLContext gl = nullptr;
  MOJOSHADER_glContext* mojo = nullptr;
  bool alive = false;
  int version = 0;  // major * 10 + minor
  // What the driver offers beyond the device's floor, and the longer way taken without it.
  bool clipControl = true;          // without: vertex shaders remap Direct3D's 0..w clip depth themselves
  bool anisotropy = true;           // without: filtering stops at trilinear
  bool baseVertex = true;           // without: the base vertex offsets the attribute pointers
  bool swizzle = true;              // without: X8R8G8B8 texels get alpha 255 as they are uploaded
  bool softwareAnisotropy = false;  // anisotropic filtering on Mesa's software renderers too
  bool siftTriangles = true;        // on a software renderer, triangles covering no pixel centre left out
  // Programs linked from a vertex and a pixel shader, made on first use by a draw.
  std::map<std::pair<MOJOSHADER_glShader*, MOJOSHADER_glShader*>, MOJOSHADER_glProgram*> programs;
  // The GL work of the scene being drawn, held back until Present knows whether it must be done.
  std::vector<std::function<void()>> pending;
  bool flushed = false;  // some of the scene's work has already been done

  // Does the held-back work: before anything it relies on changes or goes, and when it is wanted.
  void Flush();

  // Several devices (tests make them side by side) share the thread; GL and MojoShader work on the current one.
  bool MakeCurrent();
  void ForgetShader(MOJOSHADER_glShader* shader);
};

// Reference counting shared by every object of this backend.
class Counted {
 public:
  static inline long alive = 0;  // objects of this backend not yet deleted, devices included

  void AddRef() { ++references_; }
  std::uint32_t Drop() {
    std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  explicit Counted(std::shared_ptr<Context> context) : context_(std::move(context)), serial_(++made_) { ++alive; }
  virtual ~Counted() { --alive; }
  std::shared_ptr<Context> context_;

 public:
  // Names the object for comparing frames: unlike an address, never used again by a later object.
  std::uint64_t Serial() const { return serial_; }
  // Counts the uploads of a buffer's or texture's contents.
  std::uint32_t Version() const { return version_; }

 protected:
  std::uint64_t serial_;
  std::uint32_t version_ = 0;

 private:
  std::uint32_t references_ = 1;
  static inline std::uint64_t made_ = 0;
};

// Vertex or index data: a copy in memory that Lock hands out, sent to the GL buffer at Unlock.
class BufferData : public Counted {
 public:
  BufferData(std::shared_ptr<Context> context, std::uint32_t length);
  ~BufferData() override;
  HRESULT Create();
  HRESULT LockRange(std::uint32_t offset, std::uint32_t size, void** data);
  HRESULT UnlockRange();
  GLuint Name() const { return name_; }
  std::uint32_t Length() const { return static_cast<std::uint32_t>(bytes_.size()); }
  const std::uint8_t* Bytes() const { return bytes_.data(); }
  bool Locked() const { return locked_; }

 private:
  GLuint name_ = 0;
  std::vector<std::uint8_t> bytes_;
  bool locked_ = false;
  std::uint32_t lockOffset_ = 0, lockSize_ = 0;
};

class GlVertexBufferObject final : public GfxVertexBuffer, public BufferData {
 public:
  using BufferData::BufferData;
  HRESULT Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t) override {
    return LockRange(offset, size, data);
  }
  HRESULT Unlock() override { return UnlockRange(); }
  std::uint32_t Release() override { return Drop(); }
};

class GlIndexBufferObject final : public GfxIndexBuffer, public BufferData {
 public:
  GlIndexBufferObject(std::shared_ptr<Context> context, std::uint32_t length, std::uint32_t indexSize)
      : BufferData(std::move(context), length), indexSize_(indexSize), data_(indexSize, length / indexSize) {
    serial_ = ++lastSerial_;
  }
  HRESULT Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t) override {
    return LockRange(offset, size, data);
  }
  // The draw rules learn the indices' range here, from the copy in memory, not at every draw.
  HRESULT Unlock() override {
    bool wasLocked = Locked();
    HRESULT hr = UnlockRange();
    if (wasLocked) data_.Unlocked(Bytes());
    return hr;
  }
  std::uint32_t Release() override { return Drop(); }
  std::uint32_t IndexSize() const { return indexSize_; }
  const gfxrules::IndexData& Data() const { return data_; }
  std::uint32_t Serial() const { return serial_; }

 private:
  static inline std::uint32_t lastSerial_ = 0;
  std::uint32_t indexSize_;
  gfxrules::IndexData data_;
  std::uint32_t serial_;
};

class GlTextureObject final : public GfxTexture, public Counted {
 public:
  GlTextureObject(std::shared_ptr<Context> context, std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                  bool autogen, bool opaque);
  ~GlTextureObject() override;
  HRESULT Create();
  HRESULT GetSurfaceLevel(std::uint32_t level, GfxSurface** surface) override;
  std::uint32_t GetLevelCount() override { return autogen_ ? 1 : static_cast<std::uint32_t>(sizes_.size()); }
  std::uint32_t Release() override { return Drop(); }

  // One level's pixels in memory while locked, sent to GL at unlock.
  HRESULT LockLevel(std::uint32_t level, GfxLockedRect* locked, const GfxRect* rect);
  HRESULT UnlockLevel(std::uint32_t level);
  GLuint Name() const { return name_; }

 private:
  struct Size {
    std::uint32_t width, height;
  };
  void Upload(std::uint32_t level, const GfxRect& rect, const std::uint8_t* pixels);
  void GenerateLevels();

  std::vector<Size> sizes_;
  bool autogen_, opaque_;
  GLuint name_ = 0;
  std::vector<bool> written_;  // levels with storage and data, which a later lock reads back
  std::vector<std::uint8_t> staging_;
  int lockedLevel_ = -1;
  GfxRect lockedRect_{};
};

class GlSurfaceObject final : public GfxSurface, public Counted {
 public:
  GlSurfaceObject(std::shared_ptr<Context> context, GlTextureObject* texture, std::uint32_t level)
      : Counted(std::move(context)), texture_(texture), level_(level) {
    texture_->AddRef();
  }
  ~GlSurfaceObject() override { texture_->Drop(); }
  HRESULT LockRect(GfxLockedRect* locked, const GfxRect* rect, std::uint32_t) override {
    return texture_->LockLevel(level_, locked, rect);
  }
  HRESULT UnlockRect() override { return texture_->UnlockLevel(level_); }
  std::uint32_t Release() override { return Drop(); }

 private:
  GlTextureObject* texture_;
  std::uint32_t level_;
};

class GlDeclarationObject final : public GfxVertexDeclaration, public Counted {
 public:
  struct Input {
    MOJOSHADER_usage usage;
    int index;
    GLint size;
    std::uint32_t offset;
  };
  GlDeclarationObject(std::shared_ptr<Context> context, std::vector<Input> inputs)
      : Counted(std::move(context)), inputs_(std::move(inputs)) {}
  std::uint32_t Release() override { return Drop(); }
  const std::vector<Input>& Inputs() const { return inputs_; }

 private:
  std::vector<Input> inputs_;
};

// A compiled MojoShader shader, shared by the vertex and pixel kinds.
class ShaderData : public Counted {
 public:
  ShaderData(std::shared_ptr<Context> context, MOJOSHADER_glShader* shader)
      : Counted(std::move(context)), shader_(shader) {}
  ~ShaderData() override;
  MOJOSHADER_glShader* Shader() const { return shader_; }

 private:
  MOJOSHADER_glShader* shader_;
};

class GlVertexShaderObject final : public GfxVertexShader, public ShaderData {
 public:
  GlVertexShaderObject(std::shared_ptr<Context> context, MOJOSHADER_glShader* shader, PositionTransform position)
      : ShaderData(std::move(context), shader), position_(position) {}
  std::uint32_t Release() override { return Drop(); }
  const PositionTransform& Position() const { return position_; }

 private:
  PositionTransform position_;
};

class GlPixelShaderObject final : public GfxPixelShader, public ShaderData {
 public:
  using ShaderData::ShaderData;
  std::uint32_t Release() override { return Drop(); }
};

class GlDevice final : public GfxDevice, public Counted {
 public:
  static constexpr std::uint32_t kStages = 16;

  GlDevice(std::shared_ptr<Context> context, const GfxPresentParameters& parameters, bool paced, int refreshHz);
  ~GlDevice() override;
  // Makes the back buffer, the samplers and the fixed state; the context is current.
  HRESULT Initialise(int width, int height);

  HRESULT SetRenderState(std::uint32_t state, std::uint32_t value) override;
  HRESULT SetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags, std::uint32_t colour, float z,
                std::uint32_t stencil) override;
  HRESULT Present(const GfxRect* sourceRect, const GfxRect* destRect, Window* overrideWindow,
                  const void* dirtyRegion) override;
  HRESULT CreateVertexBuffer(std::uint32_t length, std::uint32_t usage, std::uint32_t fvf, std::uint32_t pool,
                             GfxVertexBuffer** buffer, void* shared) override;
  HRESULT CreateIndexBuffer(std::uint32_t length, std::uint32_t usage, std::uint32_t format, std::uint32_t pool,
                            GfxIndexBuffer** buffer, void* shared) override;
  HRESULT SetStreamSource(std::uint32_t stream, GfxVertexBuffer* buffer, std::uint32_t offset,
                          std::uint32_t stride) override;
  HRESULT SetIndices(GfxIndexBuffer* buffer) override;
  HRESULT DrawIndexedPrimitive(std::uint32_t type, std::int32_t baseVertexIndex, std::uint32_t minVertexIndex,
                               std::uint32_t numVertices, std::uint32_t startIndex,
                               std::uint32_t primitiveCount) override;
  HRESULT CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels, std::uint32_t usage,
                        std::uint32_t format, std::uint32_t pool, GfxTexture** texture, void* shared) override;
  HRESULT SetTexture(std::uint32_t stage, GfxTexture* texture) override;
  HRESULT CreateVertexDeclaration(const void* elements, GfxVertexDeclaration** declaration) override;
  HRESULT SetVertexDeclaration(GfxVertexDeclaration* declaration) override;
  HRESULT CreateVertexShader(const void* function, GfxVertexShader** shader) override;
  HRESULT SetVertexShader(GfxVertexShader* shader) override;
  HRESULT CreatePixelShader(const void* function, GfxPixelShader** shader) override;
  HRESULT SetPixelShader(GfxPixelShader* shader) override;
  HRESULT SetVertexShaderConstantF(std::uint32_t startRegister, const float* data, std::uint32_t count) override;
  HRESULT SetPixelShaderConstantF(std::uint32_t startRegister, const float* data, std::uint32_t count) override;
  std::uint32_t Release() override;

  // The back buffer as last drawn (after Present too), resolved, top row first, 4 bytes a pixel in red,
  // green, blue, alpha.
  HRESULT ReadBackBuffer(int& width, int& height, std::vector<std::uint8_t>& rgba);
  int Samples() const { return samples_; }
  bool Paced() const { return paced_; }
  long FramesShownAgain() const { return shownAgain_; }
  // Triangles set up by GL and left out before it for covering no pixel centre, since the device was made.
  long TrianglesDrawn() const { return trianglesDrawn_; }
  long TrianglesLeftOut() const { return trianglesLeftOut_; }
  bool DrawsIntoWindow() const { return direct_; }
  bool Software() const { return software_; }
  long StateCalls() const { return stateCalls_; }
  const Context& Driver() const { return *context_; }

 private:
  bool WindowBufferFits();
  HRESULT MakeBackBuffer(int width, int height);
  // The fix-up constant rewritten vertex shaders read: the back buffer's pixel size and the depth remap.
  void SetFixUpConstant();
  void FreeBackBuffer();
  // A device reset: the back buffer follows the window's client area when that changes.
  void FollowWindowSize();
  using SamplerValues = std::array<std::uint32_t, 14>;
  void ApplyRenderState(std::uint32_t state);
  void ApplyCull();
  void ApplySampler(std::uint32_t stage, const SamplerValues& values);
  // Runs GL work now, or holds it back until Present while a scene is being drawn.
  void Run(std::function<void()> step);
  void Note(std::initializer_list<std::uint64_t> words);
  void NoteBound();
  void NoteState();
  static int WatchWindow(void* device, SDL_Event* event);
  HRESULT CompileShader(const void* function, std::uint32_t kind, MOJOSHADER_glShader** out);
  template <class Object, class Interface>
  HRESULT BindObject(Object*& slot, Interface* object);
  void WaitForRefresh();
  // What a held-back draw needs to leave out the triangles that cover no pixel centre; none when it is
  // not worth it.
  struct Coverage {
    const BufferData* vertices = nullptr;  // kept alive until the draw runs: buffers flush before they go
    const BufferData* indices = nullptr;
    float rows[16] = {};
    PositionSource positions;
    CoverageTarget target;
  };
  Coverage CoverageFor(std::uint32_t type, std::int32_t baseVertexIndex, std::uint32_t primitiveCount) const;
  void ReleaseBindings();

  GfxPresentParameters parameters_;
  bool paced_;
  std::chrono::nanoseconds period_;
  std::chrono::steady_clock::time_point nextPresent_{};
  int samples_ = 0;
  int width_ = 0, height_ = 0;
  bool direct_ = false;     // drawing into the window's own buffer, not a framebuffer of the device's
  bool software_ = false;
  GLuint framebuffer_ = 0, colour_ = 0, depth_ = 0;
  GLuint samplers_[kStages] = {};
  GLfloat maxAnisotropy_ = 1.0f;
  bool inScene_ = false;
  long stateCalls_ = 0;

  // The state last set, so a repeated call costs no GL call. Render states by their Direct3D number.
  std::array<std::uint32_t, 256> renderStates_{};
  std::array<SamplerValues, kStages> samplerStates_{};
  std::array<std::uint32_t, 256> glRenderStates_{};  // as GL has them: held-back work lags the calls
  std::array<float, 256 * 4> vertexConstants_{};
  std::array<float, 224 * 4> pixelConstants_{};
  // Every input of a frame (the state it starts from, each call, each object's contents) as words:
  // a frame whose words equal the last presented one's would give the same pixels, so it is not drawn.
  std::vector<std::uint64_t> frame_, lastFrame_;
  bool touched_ = false;    // the scene has cleared or drawn
  bool fullClear_ = false;  // its first touch cleared colour and depth everywhere
  bool stale_ = true;       // the window may not show the last frame presented (exposed, resized)
  long shownAgain_ = 0;
  long trianglesDrawn_ = 0, trianglesLeftOut_ = 0;
  static inline GlDevice* lastPresenter_ = nullptr;
  GlTextureObject* textures_[kStages] = {};
  GlVertexBufferObject* stream_ = nullptr;
  std::uint32_t streamOffset_ = 0, streamStride_ = 0;
  GlIndexBufferObject* indices_ = nullptr;
  GlDeclarationObject* declaration_ = nullptr;
  GlVertexShaderObject* vertexShader_ = nullptr;
  GlPixelShaderObject* pixelShader_ = nullptr;
  MOJOSHADER_glProgram* program_ = nullptr;  // as GL has it
  // Indices of the triangles that may cover a pixel, for draws on a software renderer.
  GLuint coveringIndices_ = 0;
  std::vector<std::uint8_t> covering_;
  gfxrules::ScannedRange scanned_;
};

// Whether the current context draws on the CPU (Mesa's llvmpipe or softpipe), where anisotropic
// filtering and multisampling cost several times their price on a GPU.
bool SoftwareRenderer();

// GL's reason for the last failure, as a result code.
HRESULT GlResult();

}  // namespace kuvo::gl
