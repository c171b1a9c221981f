// The recording graphics service: every call logged, every written byte kept, any call made to fail.
#include "platform/testing/RecordingGfx.h"

#include <algorithm>
#include <cstring>

#include "platform/GfxRules.h"

namespace kuvo {

namespace {

double Flag(const void* p) { return p ? 1.0 : 0.0; }

// Register by register: the game writes each register's four floats at once just before the call, and a
// wider read spanning two such writes would wait for both to reach the cache.
void CopyRegisters(float* to, const float* from, std::uint32_t count) {
  for (std::uint32_t r = 0; r < count; ++r) std::memcpy(to + 4 * r, from + 4 * r, 4 * sizeof(float));
}

}  // namespace

// ---- GfxRecorder ----

namespace {

// In GfxCall's order.
constexpr std::string_view kCallNames[] = {
    "Direct3D::GetAdapterDisplayMode",
    "Direct3D::CheckDeviceMultiSampleType",
    "Direct3D::CreateDevice",
    "Direct3D::Release",
    "Device::SetRenderState",
    "Device::SetSamplerState",
    "Device::BeginScene",
    "Device::EndScene",
    "Device::Clear",
    "Device::Present",
    "Device::CreateVertexBuffer",
    "Device::CreateIndexBuffer",
    "Device::SetStreamSource",
    "Device::SetIndices",
    "Device::DrawIndexedPrimitive",
    "Device::CreateTexture",
    "Device::SetTexture",
    "Device::CreateVertexDeclaration",
    "Device::SetVertexDeclaration",
    "Device::CreateVertexShader",
    "Device::SetVertexShader",
    "Device::CreatePixelShader",
    "Device::SetPixelShader",
    "Device::SetVertexShaderConstantF",
    "Device::SetPixelShaderConstantF",
    "Device::Release",
    "VertexBuffer::Lock",
    "VertexBuffer::Unlock",
    "VertexBuffer::Release",
    "IndexBuffer::Lock",
    "IndexBuffer::Unlock",
    "IndexBuffer::Release",
    "Texture::GetSurfaceLevel",
    "Texture::GetLevelCount",
    "Texture::Release",
    "Surface::LockRect",
    "Surface::UnlockRect",
    "Surface::Release",
    "VertexDeclaration::Release",
    "VertexShader::Release",
    "PixelShader::Release",
};
static_assert(std::size(kCallNames) == kGfxCalls);

}  // namespace

std::string_view GfxCallName(GfxCall call) { return kCallNames[static_cast<std::size_t>(call)]; }

bool GfxRecorder::Matches(std::string_view pattern, std::string_view name) {
  if (pattern == name) return true;
  if (pattern.find("::") != std::string_view::npos || name.size() <= pattern.size() + 2) return false;
  return name.substr(name.size() - pattern.size()) == pattern &&
         name.substr(name.size() - pattern.size() - 2, 2) == "::";
}

std::bitset<kGfxCalls> GfxRecorder::Matching(std::string_view pattern) {
  std::bitset<kGfxCalls> matching;
  for (std::size_t i = 0; i < kGfxCalls; ++i) matching[i] = Matches(pattern, kCallNames[i]);
  return matching;
}

HRESULT GfxRecorder::EnterNoted(GfxCall call) {
  if (order) order->Note(std::string("gfx ").append(GfxCallName(call)));
  return rules.empty() ? S_OK : ApplyRules(call);
}

HRESULT GfxRecorder::ApplyRules(GfxCall call) {
  auto index = static_cast<std::size_t>(call);
  for (auto it = rules.begin(); it != rules.end(); ++it) {
    if (!it->calls[index]) continue;
    if (it->every) return it->code;
    if (it->skip > 0) {
      --it->skip;
      continue;
    }
    HRESULT code = it->code;
    rules.erase(it);
    return code;
  }
  return S_OK;
}

RecordedCall* GfxRecorder::Append(GfxCall call, HRESULT result, std::initializer_list<double> args,
                                  std::uint32_t created) {
  calls.push_back(RecordedCall{GfxCallName(call), std::vector<double>(args), created, result});
  return &calls.back();
}

// ---- RecordingObject ----

RecordingObject::RecordingObject(std::shared_ptr<GfxRecorder> recorder)
    : recorder_(std::move(recorder)), id_(recorder_->NewId()) {}

std::uint32_t RecordingObject::DropReference() {
  std::uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

std::uint32_t RecordingObject::ReleaseLogged(GfxCall call) {
  recorder_->Enter(call);
  recorder_->Log(call, S_OK, id_);
  return DropReference();
}

HRESULT RecordingObject::LockBytes(GfxCall call, std::vector<std::uint8_t>& bytes, bool& locked,
                                   std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) {
  HRESULT hr = recorder_->Enter(call);
  if (data) *data = nullptr;
  if (hr == S_OK) {
    hr = gfxrules::LockBuffer(static_cast<std::uint32_t>(bytes.size()), locked, offset, size, data);
    if (hr == S_OK) {
      *data = bytes.data() + offset;
      locked = true;
    }
  }
  recorder_->Log(call, hr, Id(), offset, size, flags);
  return hr;
}

HRESULT RecordingObject::UnlockBytes(GfxCall call, bool& locked) {
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) {
    hr = gfxrules::UnlockBuffer(locked);
    locked = false;
  }
  recorder_->Log(call, hr, Id());
  return hr;
}

// ---- Buffers ----

RecordingVertexBuffer::RecordingVertexBuffer(std::shared_ptr<GfxRecorder> recorder, std::uint32_t length,
                                             std::uint32_t usage, std::uint32_t fvf, std::uint32_t pool)
    : RecordingObject(std::move(recorder)), bytes_(length), usage_(usage), fvf_(fvf), pool_(pool) {}

HRESULT RecordingVertexBuffer::Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) {
  return LockBytes(GfxCall::VertexBufferLock, bytes_, locked_, offset, size, data, flags);
}

HRESULT RecordingVertexBuffer::Unlock() { return UnlockBytes(GfxCall::VertexBufferUnlock, locked_); }

std::uint32_t RecordingVertexBuffer::Release() { return ReleaseLogged(GfxCall::VertexBufferRelease); }

RecordingIndexBuffer::RecordingIndexBuffer(std::shared_ptr<GfxRecorder> recorder, std::uint32_t length,
                                           std::uint32_t /*usage*/, std::uint32_t format, std::uint32_t pool)
    : RecordingObject(std::move(recorder)),
      bytes_(length),
      format_(format),
      pool_(pool),
      data_(IndexSize(), length / IndexSize()) {}

HRESULT RecordingIndexBuffer::Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) {
  return LockBytes(GfxCall::IndexBufferLock, bytes_, locked_, offset, size, data, flags);
}

HRESULT RecordingIndexBuffer::Unlock() {
  HRESULT hr = UnlockBytes(GfxCall::IndexBufferUnlock, locked_);
  if (hr == S_OK) data_.Unlocked(bytes_.data());
  return hr;
}

std::uint32_t RecordingIndexBuffer::Release() { return ReleaseLogged(GfxCall::IndexBufferRelease); }

std::uint32_t RecordingIndexBuffer::Index(std::size_t i) const { return data_.At(bytes_.data(), i); }

// ---- Textures and surfaces ----

RecordingTexture::RecordingTexture(std::shared_ptr<GfxRecorder> recorder, std::uint32_t width, std::uint32_t height,
                                   std::uint32_t levels, std::uint32_t usage, std::uint32_t format, std::uint32_t pool)
    : RecordingObject(std::move(recorder)), usage_(usage), format_(format), pool_(pool) {
  // Only level 0 of a texture whose mipmaps the device makes is reachable.
  std::uint32_t count =
      (usage & D3DUSAGE_AUTOGENMIPMAP) ? 1 : (levels == 0 ? gfxrules::FullChainLevels(width, height) : levels);
  for (std::uint32_t k = 0; k < count; ++k) {
    levels_.push_back(Level{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4), false});
    width = std::max(1u, width / 2);
    height = std::max(1u, height / 2);
  }
}

HRESULT RecordingTexture::GetSurfaceLevel(std::uint32_t level, GfxSurface** surface) {
  constexpr GfxCall call = GfxCall::TextureGetSurfaceLevel;
  HRESULT hr = recorder_->Enter(call);
  if (surface) *surface = nullptr;
  std::uint32_t created = 0;
  if (hr == S_OK) {
    if (!surface || level >= levels_.size()) {
      hr = D3DERR_INVALIDCALL;
    } else {
      auto* s = new RecordingSurface(recorder_, this, level);
      created = s->Id();
      *surface = s;
    }
  }
  recorder_->LogCreated(call, hr, created, Id(), level);
  return hr;
}

std::uint32_t RecordingTexture::GetLevelCount() {
  constexpr GfxCall call = GfxCall::TextureGetLevelCount;
  recorder_->Enter(call);
  recorder_->Log(call, S_OK, Id());
  return static_cast<std::uint32_t>(levels_.size());
}

std::uint32_t RecordingTexture::Release() { return ReleaseLogged(GfxCall::TextureRelease); }

std::uint32_t RecordingTexture::Pixel(std::size_t level, std::uint32_t x, std::uint32_t y) const {
  const Level& l = levels_.at(level);
  const std::uint8_t* p = &l.bytes.at((std::size_t{y} * l.width + x) * 4);
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

RecordingSurface::RecordingSurface(std::shared_ptr<GfxRecorder> recorder, RecordingTexture* texture,
                                   std::uint32_t level)
    : RecordingObject(std::move(recorder)), texture_(texture), level_(level) {
  texture_->AddReference();
}

RecordingSurface::~RecordingSurface() { texture_->DropReference(); }

HRESULT RecordingSurface::LockRect(GfxLockedRect* locked, const GfxRect* rect, std::uint32_t flags) {
  constexpr GfxCall call = GfxCall::SurfaceLockRect;
  HRESULT hr = recorder_->Enter(call);
  if (locked) *locked = GfxLockedRect{0, nullptr};
  RecordingTexture::Level& level = texture_->LevelData(level_);
  if (hr == S_OK) {
    hr = gfxrules::LockRect(level.width, level.height, level.locked, locked, rect);
    if (hr == S_OK) {
      GfxRect r = rect ? *rect
                       : GfxRect{0, 0, static_cast<std::int32_t>(level.width), static_cast<std::int32_t>(level.height)};
      locked->Pitch = static_cast<std::int32_t>(level.width * 4);
      locked->pBits = level.bytes.data() + (static_cast<std::size_t>(r.top) * level.width + r.left) * 4;
      level.locked = true;
    }
  }
  recorder_->Log(call, hr, Id(), Flag(rect), rect ? rect->left : 0, rect ? rect->top : 0, rect ? rect->right : 0,
                 rect ? rect->bottom : 0, flags);
  return hr;
}

HRESULT RecordingSurface::UnlockRect() {
  constexpr GfxCall call = GfxCall::SurfaceUnlockRect;
  HRESULT hr = recorder_->Enter(call);
  RecordingTexture::Level& level = texture_->LevelData(level_);
  if (hr == S_OK) {
    hr = gfxrules::UnlockBuffer(level.locked);
    if (hr == S_OK) {
      level.locked = false;
      if (level_ == 0) texture_->CountUpload();
    }
  }
  recorder_->Log(call, hr, Id());
  return hr;
}

std::uint32_t RecordingSurface::Release() { return ReleaseLogged(GfxCall::SurfaceRelease); }

// ---- Declarations and shaders ----

RecordingVertexDeclaration::RecordingVertexDeclaration(std::shared_ptr<GfxRecorder> recorder,
                                                       std::vector<GfxVertexElement> elements)
    : RecordingObject(std::move(recorder)), elements_(std::move(elements)) {}

std::uint32_t RecordingVertexDeclaration::Release() { return ReleaseLogged(GfxCall::VertexDeclarationRelease); }

RecordingVertexShader::RecordingVertexShader(std::shared_ptr<GfxRecorder> recorder, std::vector<std::uint32_t> tokens)
    : RecordingObject(std::move(recorder)), tokens_(std::move(tokens)) {}

std::uint32_t RecordingVertexShader::Release() { return ReleaseLogged(GfxCall::VertexShaderRelease); }

RecordingPixelShader::RecordingPixelShader(std::shared_ptr<GfxRecorder> recorder, std::vector<std::uint32_t> tokens)
    : RecordingObject(std::move(recorder)), tokens_(std::move(tokens)) {}

std::uint32_t RecordingPixelShader::Release() { return ReleaseLogged(GfxCall::PixelShaderRelease); }

// ---- Device ----

RecordingDevice::RecordingDevice(std::shared_ptr<GfxRecorder> recorder, RecordingGfx* owner,
                                 const GfxPresentParameters& parameters, std::uint32_t behaviorFlags)
    : RecordingObject(std::move(recorder)),
      owner_(owner),
      parameters_(parameters),
      behaviorFlags_(behaviorFlags),
      renderStates_(kRenderStates, 0),
      samplerStates_(kSamplers * kSamplerStates, 0),
      textures_(kSamplers, nullptr),
      vertexConstants_(4 * kVertexConstants, 0.0f),
      pixelConstants_(4 * kPixelConstants, 0.0f) {
  // Direct3D's initial values of the states the game touches.
  renderStates_[D3DRS_ZENABLE] = parameters.EnableAutoDepthStencil ? 1 : 0;
  renderStates_[D3DRS_ZWRITEENABLE] = 1;
  renderStates_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  renderStates_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
  renderStates_[D3DRS_ALPHABLENDENABLE] = 0;
  for (std::uint32_t s = 0; s < kSamplers; ++s) {
    std::uint32_t* row = &samplerStates_[s * kSamplerStates];
    row[D3DSAMP_ADDRESSU] = row[D3DSAMP_ADDRESSV] = row[3] = 1;  // wrap
    row[D3DSAMP_MAGFILTER] = row[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    row[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    row[D3DSAMP_MAXANISOTROPY] = 1;
  }
}

RecordingDevice::~RecordingDevice() {
  for (auto*& t : textures_) Bind(t, static_cast<RecordingTexture*>(nullptr));
  Bind(stream_, static_cast<RecordingVertexBuffer*>(nullptr));
  Bind(indices_, static_cast<RecordingIndexBuffer*>(nullptr));
  Bind(declaration_, static_cast<RecordingVertexDeclaration*>(nullptr));
  Bind(vertexShader_, static_cast<RecordingVertexShader*>(nullptr));
  Bind(pixelShader_, static_cast<RecordingPixelShader*>(nullptr));
  if (owner_) owner_->ForgetDevice(this);
}

template <class T>
void RecordingDevice::Bind(T*& slot, T* object) {
  if (object == slot) return;
  if (object) object->AddReference();
  T* old = slot;
  slot = object;
  if (old) old->DropReference();
}

std::uint32_t RecordingDevice::SamplerState(std::uint32_t sampler, std::uint32_t type) const {
  return samplerStates_.at(sampler * kSamplerStates + type);
}

HRESULT RecordingDevice::SetRenderState(std::uint32_t state, std::uint32_t value) {
  constexpr GfxCall call = GfxCall::SetRenderState;
  if (gfxrules::RenderState(state, value) == S_OK && recorder_->CountedOnly(call)) {
    renderStates_[state] = value;
    return S_OK;
  }
  return SetRenderStateFully(state, value);
}

HRESULT RecordingDevice::SetRenderStateFully(std::uint32_t state, std::uint32_t value) {
  constexpr GfxCall call = GfxCall::SetRenderState;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) hr = gfxrules::RenderState(state, value);
  if (hr == S_OK) renderStates_[state] = value;
  recorder_->Log(call, hr, state, value);
  return hr;
}

HRESULT RecordingDevice::SetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value) {
  constexpr GfxCall call = GfxCall::SetSamplerState;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) hr = gfxrules::SamplerState(sampler, type, value);
  if (hr == S_OK) samplerStates_[sampler * kSamplerStates + type] = value;
  recorder_->Log(call, hr, sampler, type, value);
  return hr;
}

HRESULT RecordingDevice::BeginScene() {
  constexpr GfxCall call = GfxCall::BeginScene;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) hr = gfxrules::BeginScene(inScene_);
  if (hr == S_OK) inScene_ = true;
  recorder_->Log(call, hr);
  return hr;
}

HRESULT RecordingDevice::EndScene() {
  constexpr GfxCall call = GfxCall::EndScene;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) hr = gfxrules::EndScene(inScene_);
  if (hr == S_OK) inScene_ = false;
  recorder_->Log(call, hr);
  return hr;
}

HRESULT RecordingDevice::Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags, std::uint32_t colour,
                               float z, std::uint32_t stencil) {
  constexpr GfxCall call = GfxCall::Clear;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) hr = gfxrules::Clear(count, rects, flags, z, parameters_.EnableAutoDepthStencil);
  RecordedCall* logged =
      recorder_->Log(call, hr, count, flags, colour, z, stencil);
  if (logged && rects) {
    for (std::uint32_t i = 0; i < count; ++i)
      logged->args.insert(logged->args.end(),
                        {double(rects[i].left), double(rects[i].top), double(rects[i].right), double(rects[i].bottom)});
  }
  return hr;
}

HRESULT RecordingDevice::Present(const GfxRect* sourceRect, const GfxRect* destRect, Window* overrideWindow,
                                 const void* dirtyRegion) {
  constexpr GfxCall call = GfxCall::Present;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) hr = gfxrules::Present(sourceRect, destRect, overrideWindow, dirtyRegion);
  recorder_->Log(call, hr, Flag(sourceRect), Flag(destRect), Flag(overrideWindow), Flag(dirtyRegion));
  return hr;
}

HRESULT RecordingDevice::CreateVertexBuffer(std::uint32_t length, std::uint32_t usage, std::uint32_t fvf,
                                            std::uint32_t pool, GfxVertexBuffer** buffer, void* shared) {
  constexpr GfxCall call = GfxCall::CreateVertexBuffer;
  HRESULT hr = recorder_->Enter(call);
  if (buffer) *buffer = nullptr;
  std::uint32_t created = 0;
  if (hr == S_OK) {
    hr = gfxrules::CreateVertexBuffer(length, pool, buffer, shared);
    if (hr == S_OK) {
      auto* b = new RecordingVertexBuffer(recorder_, length, usage, fvf, pool);
      created = b->Id();
      *buffer = b;
    }
  }
  recorder_->LogCreated(call, hr, created, length, usage, fvf, pool, Flag(shared));
  return hr;
}

HRESULT RecordingDevice::CreateIndexBuffer(std::uint32_t length, std::uint32_t usage, std::uint32_t format,
                                           std::uint32_t pool, GfxIndexBuffer** buffer, void* shared) {
  constexpr GfxCall call = GfxCall::CreateIndexBuffer;
  HRESULT hr = recorder_->Enter(call);
  if (buffer) *buffer = nullptr;
  std::uint32_t created = 0;
  if (hr == S_OK) {
    hr = gfxrules::CreateIndexBuffer(length, format, pool, buffer, shared);
    if (hr == S_OK) {
      auto* b = new RecordingIndexBuffer(recorder_, length, usage, format, pool);
      created = b->Id();
      *buffer = b;
    }
  }
  recorder_->LogCreated(call, hr, created, length, usage, format, pool, Flag(shared));
  return hr;
}

HRESULT RecordingDevice::SetStreamSource(std::uint32_t stream, GfxVertexBuffer* buffer, std::uint32_t offset,
                                         std::uint32_t stride) {
  constexpr GfxCall call = GfxCall::SetStreamSource;
  // The bound buffer bound again the same way changes nothing.
  if (stream == 0 && buffer && buffer == stream_ && offset == streamOffset_ && stride == streamStride_ &&
      recorder_->CountedOnly(call))
    return S_OK;
  return SetStreamSourceFully(stream, buffer, offset, stride);
}

HRESULT RecordingDevice::SetStreamSourceFully(std::uint32_t stream, GfxVertexBuffer* buffer, std::uint32_t offset,
                                              std::uint32_t stride) {
  constexpr GfxCall call = GfxCall::SetStreamSource;
  HRESULT hr = recorder_->Enter(call);
  auto* b = AsRecording(buffer, stream_);
  if (hr == S_OK) {
    // One vertex stream is all the game uses, so it is all this device keeps.
    hr = gfxrules::StreamSource(stream);
    if (hr == S_OK && buffer && !b) hr = D3DERR_INVALIDCALL;
    if (hr == S_OK) {
      Bind(stream_, b);
      streamOffset_ = offset;
      streamStride_ = stride;
      // A buffer's length is fixed at creation, so the vertices it holds past the offset are known here.
      streamVertices_ = b ? b->VerticesFrom(offset, stride) : 0;
    }
  }
  recorder_->Log(call, hr, stream, b ? b->Id() : 0, offset, stride);
  return hr;
}

HRESULT RecordingDevice::SetIndices(GfxIndexBuffer* buffer) {
  constexpr GfxCall call = GfxCall::SetIndices;
  if (buffer && buffer == indices_ && recorder_->CountedOnly(call)) return S_OK;
  return SetIndicesFully(buffer);
}

HRESULT RecordingDevice::SetIndicesFully(GfxIndexBuffer* buffer) {
  constexpr GfxCall call = GfxCall::SetIndices;
  HRESULT hr = recorder_->Enter(call);
  auto* b = AsRecording(buffer, indices_);
  if (hr == S_OK) {
    if (buffer && !b)
      hr = D3DERR_INVALIDCALL;
    else
      Bind(indices_, b);
  }
  recorder_->Log(call, hr, b ? b->Id() : 0);
  return hr;
}

// The draw as the index buffer keeps the last one that passed.
RecordingIndexBuffer::Draw RecordingDevice::DrawOf(std::uint32_t type, std::int32_t baseVertexIndex,
                                                   std::uint32_t minVertexIndex, std::uint32_t numVertices,
                                                   std::uint32_t startIndex, std::uint32_t primitiveCount,
                                                   bool bound) const {
  return {type,       minVertexIndex, numVertices, startIndex, primitiveCount, stream_ ? streamVertices_ : 0,
          baseVertexIndex, bound ? indices_->Data().Version() : 0};
}

bool RecordingDevice::DrawBound() const {
  return vertexShader_ && pixelShader_ && declaration_ && indices_ && !indices_->Locked();
}

HRESULT RecordingDevice::DrawIndexedPrimitive(std::uint32_t type, std::int32_t baseVertexIndex,
                                              std::uint32_t minVertexIndex, std::uint32_t numVertices,
                                              std::uint32_t startIndex, std::uint32_t primitiveCount) {
  constexpr GfxCall call = GfxCall::DrawIndexedPrimitive;
  if (DrawBound() &&
      indices_->Passed(DrawOf(type, baseVertexIndex, minVertexIndex, numVertices, startIndex, primitiveCount, true)) &&
      recorder_->CountedOnly(call))
    return S_OK;
  return DrawIndexedPrimitiveFully(type, baseVertexIndex, minVertexIndex, numVertices, startIndex, primitiveCount);
}

HRESULT RecordingDevice::DrawIndexedPrimitiveFully(std::uint32_t type, std::int32_t baseVertexIndex,
                                                   std::uint32_t minVertexIndex, std::uint32_t numVertices,
                                                   std::uint32_t startIndex, std::uint32_t primitiveCount) {
  constexpr GfxCall call = GfxCall::DrawIndexedPrimitive;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) {
    const bool bound = DrawBound();
    const RecordingIndexBuffer::Draw draw =
        DrawOf(type, baseVertexIndex, minVertexIndex, numVertices, startIndex, primitiveCount, bound);
    if (!bound || !indices_->Passed(draw)) {
      gfxrules::DrawInputs in{vertexShader_ && pixelShader_,
                              declaration_ != nullptr,
                              draw.vertices,
                              indices_ ? &indices_->Data() : nullptr,
                              indices_ ? indices_->Bytes().data() : nullptr,
                              indices_ && indices_->Locked(),
                              indices_ ? indices_->Id() : 0};
      hr = gfxrules::DrawIndexedPrimitive(type, baseVertexIndex, minVertexIndex, numVertices, startIndex,
                                          primitiveCount, in, scanned_);
      if (hr == S_OK && bound) indices_->NotePassed(draw);
    }
  }
  recorder_->Log(call, hr, type, baseVertexIndex, minVertexIndex, numVertices, startIndex, primitiveCount);
  return hr;
}

HRESULT RecordingDevice::CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                                       std::uint32_t usage, std::uint32_t format, std::uint32_t pool,
                                       GfxTexture** texture, void* shared) {
  constexpr GfxCall call = GfxCall::CreateTexture;
  HRESULT hr = recorder_->Enter(call);
  if (texture) *texture = nullptr;
  std::uint32_t created = 0;
  if (hr == S_OK) {
    constexpr std::uint32_t kMaxSize = 8192;
    hr = gfxrules::CreateTexture(width, height, levels, usage, format, pool, texture, shared, kMaxSize);
    if (hr == S_OK) {
      auto* t = new RecordingTexture(recorder_, width, height, levels, usage, format, pool);
      created = t->Id();
      *texture = t;
    }
  }
  recorder_->LogCreated(call, hr, created, width, height, levels, usage, format, pool, Flag(shared));
  return hr;
}

HRESULT RecordingDevice::SetTexture(std::uint32_t stage, GfxTexture* texture) {
  constexpr GfxCall call = GfxCall::SetTexture;
  if (stage < kSamplers && texture && texture == textures_[stage] && recorder_->CountedOnly(call)) return S_OK;
  return SetTextureFully(stage, texture);
}

HRESULT RecordingDevice::SetTextureFully(std::uint32_t stage, GfxTexture* texture) {
  constexpr GfxCall call = GfxCall::SetTexture;
  HRESULT hr = recorder_->Enter(call);
  auto* t = AsRecording(texture, stage < kSamplers ? textures_[stage] : nullptr);
  if (hr == S_OK) {
    hr = gfxrules::TextureStage(stage);
    if (hr == S_OK && texture && !t) hr = D3DERR_INVALIDCALL;
    if (hr == S_OK) Bind(textures_[stage], t);
  }
  recorder_->Log(call, hr, stage, t ? t->Id() : 0);
  return hr;
}

HRESULT RecordingDevice::CreateVertexDeclaration(const void* elements, GfxVertexDeclaration** declaration) {
  constexpr GfxCall call = GfxCall::CreateVertexDeclaration;
  HRESULT hr = recorder_->Enter(call);
  if (declaration) *declaration = nullptr;
  std::vector<GfxVertexElement> list;
  std::uint32_t created = 0;
  if (hr == S_OK) {
    hr = gfxrules::CreateVertexDeclaration(elements, declaration, list);
    if (hr == S_OK) {
      auto* d = new RecordingVertexDeclaration(recorder_, list);
      created = d->Id();
      *declaration = d;
    }
  }
  RecordedCall* logged = recorder_->LogCreated(call, hr, created, list.size());
  if (logged) {
    for (const GfxVertexElement& e : list)
      logged->args.insert(logged->args.end(), {double(e.Stream), double(e.Offset), double(e.Type), double(e.Method),
                                           double(e.Usage), double(e.UsageIndex)});
  }
  return hr;
}

template <class T, class Interface>
HRESULT RecordingDevice::SetBound(GfxCall call, T*& slot, Interface* object) {
  if (object && object == slot && recorder_->CountedOnly(call)) return S_OK;
  return SetBoundFully(call, slot, object);
}

template <class T, class Interface>
HRESULT RecordingDevice::SetBoundFully(GfxCall call, T*& slot, Interface* object) {
  HRESULT hr = recorder_->Enter(call);
  auto* ours = AsRecording(object, slot);
  if (hr == S_OK) {
    if (object && !ours)
      hr = D3DERR_INVALIDCALL;
    else
      Bind(slot, ours);
  }
  recorder_->Log(call, hr, ours ? ours->Id() : 0);
  return hr;
}

template <class T, class Interface>
HRESULT RecordingDevice::CreateShader(GfxCall call, const void* function, std::uint32_t kind,
                                      Interface** shader) {
  HRESULT hr = recorder_->Enter(call);
  if (shader) *shader = nullptr;
  std::vector<std::uint32_t> tokens;
  std::uint32_t created = 0;
  if (hr == S_OK) {
    std::size_t length = gfxrules::ShaderTokens(function, kind);
    if (!shader || length == 0) {
      hr = D3DERR_INVALIDCALL;
    } else {
      const auto* first = static_cast<const std::uint32_t*>(function);
      tokens.assign(first, first + length);
      auto* s = new T(recorder_, tokens);
      created = s->Id();
      *shader = s;
    }
  }
  recorder_->LogCreated(call, hr, created, 4 * tokens.size());
  return hr;
}

HRESULT RecordingDevice::SetVertexDeclaration(GfxVertexDeclaration* declaration) {
  return SetBound(GfxCall::SetVertexDeclaration, declaration_, declaration);
}

HRESULT RecordingDevice::CreateVertexShader(const void* function, GfxVertexShader** shader) {
  return CreateShader<RecordingVertexShader>(GfxCall::CreateVertexShader, function, 0xFFFE, shader);
}

HRESULT RecordingDevice::SetVertexShader(GfxVertexShader* shader) {
  return SetBound(GfxCall::SetVertexShader, vertexShader_, shader);
}

HRESULT RecordingDevice::CreatePixelShader(const void* function, GfxPixelShader** shader) {
  return CreateShader<RecordingPixelShader>(GfxCall::CreatePixelShader, function, 0xFFFF, shader);
}

HRESULT RecordingDevice::SetPixelShader(GfxPixelShader* shader) {
  return SetBound(GfxCall::SetPixelShader, pixelShader_, shader);
}

HRESULT RecordingDevice::SetConstantsFully(GfxCall call, std::vector<float>& registers, bool ok,
                                           std::uint32_t startRegister, const float* data, std::uint32_t count) {
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) {
    if (!ok)
      hr = D3DERR_INVALIDCALL;
    else
      CopyRegisters(&registers[4 * startRegister], data, count);
  }
  RecordedCall* logged = recorder_->Log(call, hr, startRegister, count);
  if (logged && ok) logged->args.insert(logged->args.end(), data, data + 4 * count);
  return hr;
}

HRESULT RecordingDevice::SetConstants(GfxCall call, std::vector<float>& registers, std::uint32_t available,
                                      std::uint32_t startRegister, const float* data, std::uint32_t count) {
  const bool ok = gfxrules::ShaderConstants(startRegister, data, count, available) == S_OK;
  if (ok && recorder_->CountedOnly(call)) {
    CopyRegisters(&registers[4 * startRegister], data, count);
    return S_OK;
  }
  return SetConstantsFully(call, registers, ok, startRegister, data, count);
}

HRESULT RecordingDevice::SetVertexShaderConstantF(std::uint32_t startRegister, const float* data, std::uint32_t count) {
  return SetConstants(GfxCall::SetVertexShaderConstantF, vertexConstants_, kVertexConstants, startRegister, data,
                      count);
}

HRESULT RecordingDevice::SetPixelShaderConstantF(std::uint32_t startRegister, const float* data, std::uint32_t count) {
  return SetConstants(GfxCall::SetPixelShaderConstantF, pixelConstants_, kPixelConstants, startRegister, data,
                      count);
}

std::uint32_t RecordingDevice::Release() { return ReleaseLogged(GfxCall::DeviceRelease); }

// ---- Adapter ----

RecordingGfx::RecordingGfx() : recorder_(std::make_shared<GfxRecorder>()) {}

RecordingGfx::~RecordingGfx() {
  if (device_) device_->owner_ = nullptr;
}

void RecordingGfx::ForgetDevice(RecordingDevice* device) {
  if (device_ == device) device_ = nullptr;
}

HRESULT RecordingGfx::GetAdapterDisplayMode(std::uint32_t adapter, GfxDisplayMode* mode) {
  constexpr GfxCall call = GfxCall::GetAdapterDisplayMode;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) {
    if (adapter != D3DADAPTER_DEFAULT || !mode)
      hr = D3DERR_INVALIDCALL;
    else
      *mode = displayMode_;
  }
  recorder_->Log(call, hr, adapter);
  return hr;
}

HRESULT RecordingGfx::CheckDeviceMultiSampleType(std::uint32_t adapter, std::uint32_t deviceType,
                                                 std::uint32_t surfaceFormat, bool windowed,
                                                 std::uint32_t multiSampleType, std::uint32_t* qualityLevels) {
  constexpr GfxCall call = GfxCall::CheckDeviceMultiSampleType;
  HRESULT hr = recorder_->Enter(call);
  if (hr == S_OK) {
    bool supported = multiSampleType == 0 || multiSampleType == 2 || multiSampleType == 4 || multiSampleType == 8;
    if (adapter != D3DADAPTER_DEFAULT || deviceType != D3DDEVTYPE_HAL)
      hr = D3DERR_INVALIDCALL;
    else if (!supported)
      hr = D3DERR_NOTAVAILABLE;
    else if (qualityLevels)
      *qualityLevels = 1;
  }
  recorder_->Log(call, hr, adapter, deviceType, surfaceFormat, windowed ? 1.0 : 0.0, multiSampleType,
                 Flag(qualityLevels));
  return hr;
}

HRESULT RecordingGfx::CreateDevice(std::uint32_t adapter, std::uint32_t deviceType, Window* focusWindow,
                                   std::uint32_t behaviorFlags, GfxPresentParameters* parameters, GfxDevice** device) {
  constexpr GfxCall call = GfxCall::CreateDevice;
  HRESULT hr = recorder_->Enter(call);
  if (device) *device = nullptr;
  std::uint32_t created = 0;
  if (hr == S_OK) {
    constexpr std::uint32_t vertexProcessing =
        D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING;
    bool oneProcessing = (behaviorFlags & vertexProcessing) == D3DCREATE_SOFTWARE_VERTEXPROCESSING ||
                         (behaviorFlags & vertexProcessing) == D3DCREATE_HARDWARE_VERTEXPROCESSING;
    if (adapter != D3DADAPTER_DEFAULT || deviceType != D3DDEVTYPE_HAL || !parameters || !device || !oneProcessing) {
      hr = D3DERR_INVALIDCALL;
    } else {
      device_ = new RecordingDevice(recorder_, this, *parameters, behaviorFlags);
      created = device_->Id();
      *device = device_;
    }
  }
  RecordedCall* logged =
      recorder_->LogCreated(call, hr, created, adapter, deviceType, Flag(focusWindow), behaviorFlags);
  if (logged && parameters) {
    const GfxPresentParameters& p = *parameters;
    logged->args.insert(
        logged->args.end(),
        {double(p.BackBufferWidth), double(p.BackBufferHeight), double(p.BackBufferFormat), double(p.BackBufferCount),
         double(p.MultiSampleType), double(p.MultiSampleQuality), double(p.SwapEffect), Flag(p.hDeviceWindow),
         p.Windowed ? 1.0 : 0.0, p.EnableAutoDepthStencil ? 1.0 : 0.0, double(p.AutoDepthStencilFormat),
         double(p.Flags), double(p.FullScreen_RefreshRateInHz), double(p.PresentationInterval)});
  }
  return hr;
}

std::uint32_t RecordingGfx::Release() {
  constexpr GfxCall call = GfxCall::Direct3DRelease;
  recorder_->Enter(call);
  recorder_->Log(call, S_OK);
  return 1;
}

std::vector<const RecordedCall*> RecordingGfx::CallsNamed(std::string_view name) const {
  std::vector<const RecordedCall*> out;
  for (const RecordedCall& c : recorder_->calls)
    if (GfxRecorder::Matches(name, c.name)) out.push_back(&c);
  return out;
}

std::vector<std::string_view> RecordingGfx::Names(std::size_t from) const {
  std::vector<std::string_view> out;
  for (std::size_t i = from; i < recorder_->calls.size(); ++i) out.push_back(recorder_->calls[i].name);
  return out;
}

long RecordingGfx::Count(std::string_view name) const {
  std::bitset<kGfxCalls> matching = GfxRecorder::Matching(name);
  long total = 0;
  for (std::size_t i = 0; i < kGfxCalls; ++i)
    if (matching[i]) total += recorder_->counts[i];
  return total;
}

void RecordingGfx::FailCall(std::string_view name, long occurrence, HRESULT code) {
  recorder_->rules.push_back(
      GfxRecorder::FailRule{GfxRecorder::Matching(name), occurrence > 0 ? occurrence - 1 : 0, occurrence <= 0, code});
}

}  // namespace kuvo
