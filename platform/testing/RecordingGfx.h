// A graphics service with no GPU: it keeps every call with its arguments, in order, and every byte written
// into a buffer or texture level, checks arguments the way Direct3D's debug runtime would, and can be told
// to fail any call. Tests read the log and the bytes; kuvo-sim switches the log off and keeps counts only.
#pragma once
#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "platform/Gfx.h"
#include "platform/GfxRules.h"
#include "platform/testing/CallOrder.h"

namespace kuvo {

// Every call this backend answers, as a compact identifier: counts and failure rules are kept by it, so
// a counted call costs an array increment rather than hashing its name.
enum class GfxCall : std::uint8_t {
  GetAdapterDisplayMode, CheckDeviceMultiSampleType, CreateDevice, Direct3DRelease,
  SetRenderState, SetSamplerState, BeginScene, EndScene, Clear, Present,
  CreateVertexBuffer, CreateIndexBuffer, SetStreamSource, SetIndices, DrawIndexedPrimitive,
  CreateTexture, SetTexture, CreateVertexDeclaration, SetVertexDeclaration,
  CreateVertexShader, SetVertexShader, CreatePixelShader, SetPixelShader,
  SetVertexShaderConstantF, SetPixelShaderConstantF, DeviceRelease,
  VertexBufferLock, VertexBufferUnlock, VertexBufferRelease,
  IndexBufferLock, IndexBufferUnlock, IndexBufferRelease,
  TextureGetSurfaceLevel, TextureGetLevelCount, TextureRelease,
  SurfaceLockRect, SurfaceUnlockRect, SurfaceRelease,
  VertexDeclarationRelease, VertexShaderRelease, PixelShaderRelease,
};
constexpr std::size_t kGfxCalls = static_cast<std::size_t>(GfxCall::PixelShaderRelease) + 1;

// "Interface::Method": "Direct3D::CreateDevice", "Device::SetRenderState", "VertexBuffer::Lock",
// "Texture::GetSurfaceLevel", "Surface::LockRect", ...
std::string_view GfxCallName(GfxCall call);

// One call as the game made it.
struct RecordedCall {
  std::string_view name;
  // Every argument in order as a number; objects by id (0 = null), pointers to a rectangle or a
  // present-parameter block by their fields, constant data by its floats.
  std::vector<double> args;
  std::uint32_t created = 0;  // id of the object a successful creation call made
  HRESULT result = S_OK;
};

// The log, the counts and the failure rules, shared by the adapter object and every object it makes,
// so an object released after the RecordingGfx is gone still has somewhere to record.
class GfxRecorder {
 public:
  // Counts the call and returns the code a failure rule gives it (S_OK when none applies).
  HRESULT Enter(GfxCall call) {
    ++counts[static_cast<std::size_t>(call)];
    return rules.empty() && !order ? S_OK : EnterNoted(call);
  }
  // Appends the call with its arguments as numbers when the log is kept, and returns it so the caller can
  // add array arguments. The numbers become doubles only then: a counted call converts nothing.
  template <class... Numbers>
  RecordedCall* Log(GfxCall call, HRESULT result, Numbers... args) {
    return keepLog ? Append(call, result, {static_cast<double>(args)...}, 0) : nullptr;
  }
  // The same for a creation call, with the id of the object it made.
  template <class... Numbers>
  RecordedCall* LogCreated(GfxCall call, HRESULT result, std::uint32_t created, Numbers... args) {
    return keepLog ? Append(call, result, {static_cast<double>(args)...}, created) : nullptr;
  }
  std::uint32_t NewId() { return ++lastId_; }
  // When only counting (no log kept, no failure rule, no order noted), counts the call and answers true: a
  // call the device then finds valid and cheap to answer needs nothing else, and takes its short way.
  bool CountedOnly(GfxCall call) {
    if (keepLog || order || !rules.empty()) return false;
    ++counts[static_cast<std::size_t>(call)];
    return true;
  }

  bool keepLog = true;
  CallOrder* order = nullptr;  // where every call is also noted, when set
  std::vector<RecordedCall> calls;
  std::array<long, kGfxCalls> counts{};

  struct FailRule {
    std::bitset<kGfxCalls> calls;  // the calls the rule's name matches
    long skip;                     // matching calls still to let through
    bool every;
    HRESULT code;
  };
  std::vector<FailRule> rules;

  // Full name, or the method alone ("Lock" matches "VertexBuffer::Lock" and "IndexBuffer::Lock").
  static bool Matches(std::string_view pattern, std::string_view name);
  // Every call whose name `pattern` matches.
  static std::bitset<kGfxCalls> Matching(std::string_view pattern);

 private:
  // Out of line, so that a counted call stays an increment and one test: notes the call, applies the rules.
  HRESULT EnterNoted(GfxCall call);
  HRESULT ApplyRules(GfxCall call);
  RecordedCall* Append(GfxCall call, HRESULT result, std::initializer_list<double> args, std::uint32_t created);

  std::uint32_t lastId_ = 0;
};

// Reference counting and identity of every recording object.
class RecordingObject {
 public:
  std::uint32_t Id() const { return id_; }
  std::uint32_t References() const { return references_; }
  void AddReference() { ++references_; }
  // Gives back one reference without logging; the object deletes itself at zero.
  std::uint32_t DropReference();

 protected:
  explicit RecordingObject(std::shared_ptr<GfxRecorder> recorder);
  virtual ~RecordingObject() = default;
  // The game's Release: logged under `name`, then one reference dropped.
  std::uint32_t ReleaseLogged(GfxCall call);
  // Lock and Unlock of a buffer's bytes, logged under `name`; one lock at a time.
  HRESULT LockBytes(GfxCall call, std::vector<std::uint8_t>& bytes, bool& locked, std::uint32_t offset,
                    std::uint32_t size, void** data, std::uint32_t flags);
  HRESULT UnlockBytes(GfxCall call, bool& locked);

  std::shared_ptr<GfxRecorder> recorder_;

 private:
  std::uint32_t id_;
  std::uint32_t references_ = 1;
};

// Id of any recording object passed as an interface pointer; 0 for null or a foreign object.
template <class T>
std::uint32_t RecordingId(const T* object) {
  const auto* recording = dynamic_cast<const RecordingObject*>(object);
  return recording ? recording->Id() : 0;
}

// `object` as this backend's final class T, or null for null or another backend's object. Exact type
// identity is enough for a final class, and costs a comparison where a dynamic_cast walks the hierarchy.
template <class T, class Interface>
T* AsRecording(Interface* object) {
  static_assert(std::is_final_v<T> && std::is_base_of_v<Interface, T>);
  return object && typeid(*object) == typeid(T) ? static_cast<T*>(object) : nullptr;
}

// The same, for an object about to be bound where `bound` is: the object bound there now was checked when
// it was bound and is kept alive by the binding, so binding it again needs no look at its type.
template <class T, class Interface>
T* AsRecording(Interface* object, T* bound) {
  return bound && object == static_cast<Interface*>(bound) ? bound : AsRecording<T>(object);
}

class RecordingVertexBuffer final : public GfxVertexBuffer, public RecordingObject {
 public:
  RecordingVertexBuffer(std::shared_ptr<GfxRecorder> recorder, std::uint32_t length, std::uint32_t usage,
                        std::uint32_t fvf, std::uint32_t pool);
  HRESULT Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) override;
  HRESULT Unlock() override;
  std::uint32_t Release() override;

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::uint32_t Usage() const { return usage_; }
  std::uint32_t Fvf() const { return fvf_; }
  std::uint32_t Pool() const { return pool_; }
  bool Locked() const { return locked_; }
  // Whole vertices of `stride` bytes from `offset` to the end. The length is fixed at creation and a mesh
  // binds its buffer the same way at every draw, so the last answer is kept rather than divided again.
  std::uint32_t VerticesFrom(std::uint32_t offset, std::uint32_t stride) {
    if (offset != lastOffset_ || stride != lastStride_) {
      lastVertices_ = gfxrules::StreamVertices(bytes_.size(), offset, stride);
      lastOffset_ = offset;
      lastStride_ = stride;
    }
    return lastVertices_;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t usage_, fvf_, pool_;
  bool locked_ = false;
  std::uint32_t lastOffset_ = 0, lastStride_ = 0, lastVertices_ = 0;  // stride 0 holds no vertex
};

class RecordingIndexBuffer final : public GfxIndexBuffer, public RecordingObject {
 public:
  RecordingIndexBuffer(std::shared_ptr<GfxRecorder> recorder, std::uint32_t length, std::uint32_t usage,
                       std::uint32_t format, std::uint32_t pool);
  HRESULT Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) override;
  HRESULT Unlock() override;
  std::uint32_t Release() override;

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::uint32_t Format() const { return format_; }
  std::uint32_t Pool() const { return pool_; }
  std::uint32_t IndexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
  std::uint32_t Index(std::size_t i) const;
  bool Locked() const { return locked_; }
  // Its index count, and its smallest and largest index as found at the last Unlock.
  const gfxrules::IndexData& Data() const { return data_; }

  // A draw of these indices and the stream it reached. The draw rule answers from these, whether shaders
  // and a declaration are bound, and the buffer's bytes (its version) alone, so a mesh drawn again the
  // same way over the same bytes passes again without the rule being asked.
  struct Draw {
    std::uint32_t type, minVertexIndex, numVertices, startIndex, primitiveCount, vertices;
    std::int32_t baseVertexIndex;
    std::uint64_t version;
    bool operator==(const Draw&) const = default;
  };
  bool Passed(const Draw& draw) const { return passedKnown_ && draw == passed_; }
  void NotePassed(const Draw& draw) {
    passed_ = draw;
    passedKnown_ = true;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t format_, pool_;
  bool locked_ = false;
  gfxrules::IndexData data_;
  Draw passed_{};
  bool passedKnown_ = false;  // the last draw that passed, with shaders and a declaration bound
};

class RecordingTexture final : public GfxTexture, public RecordingObject {
 public:
  struct Level {
    std::uint32_t width, height;
    std::vector<std::uint8_t> bytes;  // rows of width × 4 bytes, top row first
    bool locked = false;
  };
  RecordingTexture(std::shared_ptr<GfxRecorder> recorder, std::uint32_t width, std::uint32_t height,
                   std::uint32_t levels, std::uint32_t usage, std::uint32_t format, std::uint32_t pool);
  HRESULT GetSurfaceLevel(std::uint32_t level, GfxSurface** surface) override;
  std::uint32_t GetLevelCount() override;
  std::uint32_t Release() override;

  std::uint32_t Width() const { return levels_[0].width; }
  std::uint32_t Height() const { return levels_[0].height; }
  std::uint32_t Usage() const { return usage_; }
  std::uint32_t Format() const { return format_; }
  std::uint32_t Pool() const { return pool_; }
  std::size_t Levels() const { return levels_.size(); }
  Level& LevelData(std::size_t level) { return levels_.at(level); }
  const std::vector<std::uint8_t>& LevelBytes(std::size_t level) const { return levels_.at(level).bytes; }
  // The 32-bit pixel at column x, row y of a level, as 0xAARRGGBB.
  std::uint32_t Pixel(std::size_t level, std::uint32_t x, std::uint32_t y) const;
  // UnlockRect calls on level 0 so far: a regenerated mipmap chain for an AUTOGENMIPMAP texture.
  long Uploads() const { return uploads_; }
  void CountUpload() { ++uploads_; }

 private:
  std::vector<Level> levels_;
  std::uint32_t usage_, format_, pool_;
  long uploads_ = 0;
};

class RecordingSurface final : public GfxSurface, public RecordingObject {
 public:
  // Holds a reference to its texture for as long as it lives.
  RecordingSurface(std::shared_ptr<GfxRecorder> recorder, RecordingTexture* texture, std::uint32_t level);
  ~RecordingSurface() override;
  HRESULT LockRect(GfxLockedRect* locked, const GfxRect* rect, std::uint32_t flags) override;
  HRESULT UnlockRect() override;
  std::uint32_t Release() override;

  RecordingTexture* Texture() const { return texture_; }
  std::uint32_t Level() const { return level_; }

 private:
  RecordingTexture* texture_;
  std::uint32_t level_;
};

class RecordingVertexDeclaration final : public GfxVertexDeclaration, public RecordingObject {
 public:
  RecordingVertexDeclaration(std::shared_ptr<GfxRecorder> recorder, std::vector<GfxVertexElement> elements);
  std::uint32_t Release() override;
  // The elements as passed, the end marker included.
  const std::vector<GfxVertexElement>& Elements() const { return elements_; }

 private:
  std::vector<GfxVertexElement> elements_;
};

class RecordingVertexShader final : public GfxVertexShader, public RecordingObject {
 public:
  RecordingVertexShader(std::shared_ptr<GfxRecorder> recorder, std::vector<std::uint32_t> tokens);
  std::uint32_t Release() override;
  // The token stream as passed, version token to end token.
  const std::vector<std::uint32_t>& Tokens() const { return tokens_; }

 private:
  std::vector<std::uint32_t> tokens_;
};

class RecordingPixelShader final : public GfxPixelShader, public RecordingObject {
 public:
  RecordingPixelShader(std::shared_ptr<GfxRecorder> recorder, std::vector<std::uint32_t> tokens);
  std::uint32_t Release() override;
  const std::vector<std::uint32_t>& Tokens() const { return tokens_; }

 private:
  std::vector<std::uint32_t> tokens_;
};

class RecordingGfx;

class RecordingDevice final : public GfxDevice, public RecordingObject {
 public:
  static constexpr std::uint32_t kRenderStates = gfxrules::kRenderStates;
  static constexpr std::uint32_t kSamplers = gfxrules::kSamplers;
  static constexpr std::uint32_t kSamplerStates = gfxrules::kSamplerStates;
  static constexpr std::uint32_t kVertexConstants = gfxrules::kVertexConstants;
  static constexpr std::uint32_t kPixelConstants = gfxrules::kPixelConstants;

  RecordingDevice(std::shared_ptr<GfxRecorder> recorder, RecordingGfx* owner, const GfxPresentParameters& parameters,
                  std::uint32_t behaviorFlags);
  ~RecordingDevice() override;

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

  friend class RecordingGfx;

  // The device state as the calls so far left it.
  const GfxPresentParameters& Parameters() const { return parameters_; }
  std::uint32_t BehaviorFlags() const { return behaviorFlags_; }
  std::uint32_t RenderState(std::uint32_t state) const { return renderStates_.at(state); }
  std::uint32_t SamplerState(std::uint32_t sampler, std::uint32_t type) const;
  bool InScene() const { return inScene_; }
  RecordingTexture* Texture(std::uint32_t stage) const { return textures_.at(stage); }
  RecordingVertexBuffer* StreamSource() const { return stream_; }
  std::uint32_t StreamOffset() const { return streamOffset_; }
  std::uint32_t StreamStride() const { return streamStride_; }
  RecordingIndexBuffer* Indices() const { return indices_; }
  RecordingVertexDeclaration* VertexDeclaration() const { return declaration_; }
  RecordingVertexShader* VertexShader() const { return vertexShader_; }
  RecordingPixelShader* PixelShader() const { return pixelShader_; }
  // Register r's four floats.
  const float* VertexConstant(std::uint32_t r) const { return &vertexConstants_.at(4 * r); }
  const float* PixelConstant(std::uint32_t r) const { return &pixelConstants_.at(4 * r); }

 private:
  // The calls' full ways, with every check, the failure rules and the log. The public calls above take a
  // short way first when only counting and the call is valid and changes nothing (or only a copy of state);
  // these are out of line so that the short way needs no stack frame.
  [[gnu::noinline]] HRESULT SetRenderStateFully(std::uint32_t state, std::uint32_t value);
  [[gnu::noinline]] HRESULT SetStreamSourceFully(std::uint32_t stream, GfxVertexBuffer* buffer, std::uint32_t offset,
                                                 std::uint32_t stride);
  [[gnu::noinline]] HRESULT SetIndicesFully(GfxIndexBuffer* buffer);
  [[gnu::noinline]] HRESULT DrawIndexedPrimitiveFully(std::uint32_t type, std::int32_t baseVertexIndex,
                                                      std::uint32_t minVertexIndex, std::uint32_t numVertices,
                                                      std::uint32_t startIndex, std::uint32_t primitiveCount);
  // Shaders, a declaration and unlocked indices bound: what a draw the index buffer has seen pass needs.
  bool DrawBound() const;
  RecordingIndexBuffer::Draw DrawOf(std::uint32_t type, std::int32_t baseVertexIndex, std::uint32_t minVertexIndex,
                                    std::uint32_t numVertices, std::uint32_t startIndex,
                                    std::uint32_t primitiveCount, bool bound) const;
  [[gnu::noinline]] HRESULT SetTextureFully(std::uint32_t stage, GfxTexture* texture);
  // Either constant upload into `registers`, of which there are `available`.
  HRESULT SetConstants(GfxCall call, std::vector<float>& registers, std::uint32_t available,
                       std::uint32_t startRegister, const float* data, std::uint32_t count);
  [[gnu::noinline]] HRESULT SetConstantsFully(GfxCall call, std::vector<float>& registers, bool ok,
                                              std::uint32_t startRegister, const float* data, std::uint32_t count);
  template <class T, class Interface>
  [[gnu::noinline]] HRESULT SetBoundFully(GfxCall call, T*& slot, Interface* object);

  // Swaps a bound object, keeping a reference to the new one and giving back the old one's.
  template <class T>
  static void Bind(T*& slot, T* object);
  // Binds `object` (null or one of this backend's T) into `slot`, recording the call.
  template <class T, class Interface>
  HRESULT SetBound(GfxCall call, T*& slot, Interface* object);
  // Creates a shader of type T from the token stream at `function`, whose version token's high half is `kind`.
  template <class T, class Interface>
  HRESULT CreateShader(GfxCall call, const void* function, std::uint32_t kind, Interface** shader);

  RecordingGfx* owner_;
  GfxPresentParameters parameters_;
  std::uint32_t behaviorFlags_;
  std::vector<std::uint32_t> renderStates_;
  std::vector<std::uint32_t> samplerStates_;
  std::vector<RecordingTexture*> textures_;
  std::vector<float> vertexConstants_;
  std::vector<float> pixelConstants_;
  RecordingVertexBuffer* stream_ = nullptr;
  std::uint32_t streamOffset_ = 0;
  std::uint32_t streamStride_ = 0;
  std::uint32_t streamVertices_ = 0;  // whole vertices from the offset to the end of the bound buffer
  RecordingIndexBuffer* indices_ = nullptr;
  RecordingVertexDeclaration* declaration_ = nullptr;
  RecordingVertexShader* vertexShader_ = nullptr;
  RecordingPixelShader* pixelShader_ = nullptr;
  bool inScene_ = false;

  gfxrules::ScannedRange scanned_;  // the last part of an index buffer a draw scanned
};

class RecordingGfx final : public Gfx {
 public:
  RecordingGfx();
  ~RecordingGfx() override;
  RecordingGfx(const RecordingGfx&) = delete;
  RecordingGfx& operator=(const RecordingGfx&) = delete;

  HRESULT GetAdapterDisplayMode(std::uint32_t adapter, GfxDisplayMode* mode) override;
  HRESULT CheckDeviceMultiSampleType(std::uint32_t adapter, std::uint32_t deviceType, std::uint32_t surfaceFormat,
                                     bool windowed, std::uint32_t multiSampleType,
                                     std::uint32_t* qualityLevels) override;
  HRESULT CreateDevice(std::uint32_t adapter, std::uint32_t deviceType, Window* focusWindow,
                       std::uint32_t behaviorFlags, GfxPresentParameters* parameters, GfxDevice** device) override;
  std::uint32_t Release() override;

  // The log. Off, only the counts are kept, so a long run's memory stays flat; buffer and texture
  // contents are kept either way, and freed when their objects are.
  void SetKeepLog(bool keep) { recorder_->keepLog = keep; }
  const std::vector<RecordedCall>& Calls() const { return recorder_->calls; }
  std::vector<const RecordedCall*> CallsNamed(std::string_view name) const;
  // Names of the logged calls from position `from` on.
  std::vector<std::string_view> Names(std::size_t from = 0) const;
  void ClearLog() { recorder_->calls.clear(); }
  // Every call from now on, of the adapter and of every object it made, is also noted in `order`, logged
  // or not, until this is called with null.
  void SetOrder(CallOrder* order) { recorder_->order = order; }
  // Calls made so far whose name matches (full name, or the method alone), logged or not.
  long Count(std::string_view name) const;

  // Makes the occurrence-th next call matching `name` fail with `code`; occurrence 0 fails every matching
  // call until ClearFailures.
  void FailCall(std::string_view name, long occurrence = 1, HRESULT code = E_FAIL);
  void ClearFailures() { recorder_->rules.clear(); }

  void SetDisplayMode(const GfxDisplayMode& mode) { displayMode_ = mode; }
  // The most recently created device while it lives, else null.
  RecordingDevice* Device() const { return device_; }
  void ForgetDevice(RecordingDevice* device);

 private:
  std::shared_ptr<GfxRecorder> recorder_;
  GfxDisplayMode displayMode_{1920, 1080, 60, D3DFMT_X8R8G8B8};
  RecordingDevice* device_ = nullptr;
};

}  // namespace kuvo
