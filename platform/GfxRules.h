// The argument and state rules of the graphics service, as Direct3D 9's debug runtime applies them, in
// one place for every device: the OpenGL device and the recording device both ask here before acting,
// so a call the screen would refuse or drop fails the same way in a headless test.
//
// Where Direct3D 9 defines more than the devices realise (render states such as FILLMODE, blend factors
// such as BLENDFACTOR, volume-texture addressing), the call is refused with D3DERR_INVALIDCALL rather
// than accepted and ignored. Each rule answers S_OK or D3DERR_INVALIDCALL. The per-call rules are inline:
// the recording device runs them on every call of every frame.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Gfx.h"

namespace kuvo::gfxrules {

constexpr std::uint32_t kSamplers = 16;
constexpr std::uint32_t kRenderStates = 256;
constexpr std::uint32_t kSamplerStates = 14;
// Direct3D 9 offers 256 vertex constants; the OpenGL device keeps the last for its pixel-centre and depth
// fix-up, so both devices offer the game 255.
constexpr std::uint32_t kVertexConstants = 255;
constexpr std::uint32_t kPixelConstants = 224;
// Longest shader token stream read, and most declaration elements before the end marker (MAXD3DDECLLENGTH).
constexpr std::size_t kMaxShaderTokens = 1 << 16;
constexpr std::size_t kMaxDeclarationElements = 64;

// The values a state accepts, low to high; a state no device realises has none (low > high).
struct ValueRange {
  std::uint32_t low = 1, high = 0;
};

namespace detail {

constexpr std::uint32_t kAny = 0xFFFFFFFFu;

constexpr auto MakeRenderStateRanges() {
  std::array<ValueRange, kRenderStates> r{};
  r[D3DRS_ZENABLE] = {0, 1};          // D3DZB_FALSE, D3DZB_TRUE; no W-buffer
  r[D3DRS_ZWRITEENABLE] = {0, kAny};  // a BOOL: any non-zero value is TRUE
  r[D3DRS_SRCBLEND] = {1, 11};        // D3DBLEND_ZERO .. D3DBLEND_SRCALPHASAT
  r[D3DRS_DESTBLEND] = {1, 11};
  r[D3DRS_CULLMODE] = {D3DCULL_NONE, D3DCULL_CCW};
  r[D3DRS_ALPHABLENDENABLE] = {0, kAny};
  return r;
}

constexpr auto MakeSamplerStateRanges() {
  std::array<ValueRange, kSamplerStates> r{};
  r[D3DSAMP_ADDRESSU] = {1, 5};  // WRAP .. MIRRORONCE
  r[D3DSAMP_ADDRESSV] = {1, 5};
  r[D3DSAMP_MAGFILTER] = {D3DTEXF_POINT, D3DTEXF_ANISOTROPIC};  // NONE belongs to mipmapping only
  r[D3DSAMP_MINFILTER] = {D3DTEXF_POINT, D3DTEXF_ANISOTROPIC};
  r[D3DSAMP_MIPFILTER] = {D3DTEXF_NONE, D3DTEXF_LINEAR};  // mipmaps are never anisotropic
  r[D3DSAMP_MAXANISOTROPY] = {1, 16};
  return r;
}

inline constexpr auto kRenderStateRanges = MakeRenderStateRanges();
inline constexpr auto kSamplerStateRanges = MakeSamplerStateRanges();

constexpr bool Inside(const ValueRange& range, std::uint32_t value) {
  return value >= range.low && value <= range.high;
}

}  // namespace detail

inline HRESULT RenderState(std::uint32_t state, std::uint32_t value) {
  return state < kRenderStates && detail::Inside(detail::kRenderStateRanges[state], value) ? S_OK : D3DERR_INVALIDCALL;
}

inline HRESULT SamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value) {
  return sampler < kSamplers && type < kSamplerStates && detail::Inside(detail::kSamplerStateRanges[type], value)
             ? S_OK
             : D3DERR_INVALIDCALL;
}

// `depthStencil`: the device has a depth and stencil buffer to clear.
inline HRESULT Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags, float z, bool depthStencil) {
  constexpr std::uint32_t known = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
  bool ok = !(count > 0 && !rects) && flags != 0 && (flags & ~known) == 0 && z >= 0.0f && z <= 1.0f &&
            (depthStencil || (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) == 0);
  return ok ? S_OK : D3DERR_INVALIDCALL;
}

// The devices present the whole back buffer to their own window, with a discarding swap.
inline HRESULT Present(const GfxRect* sourceRect, const GfxRect* destRect, const Window* overrideWindow,
                       const void* dirtyRegion) {
  return sourceRect || destRect || overrideWindow || dirtyRegion ? D3DERR_INVALIDCALL : S_OK;
}

inline HRESULT BeginScene(bool inScene) { return inScene ? D3DERR_INVALIDCALL : S_OK; }
inline HRESULT EndScene(bool inScene) { return inScene ? S_OK : D3DERR_INVALIDCALL; }

// One vertex stream is all the game uses, so it is all the devices offer.
inline HRESULT StreamSource(std::uint32_t stream) { return stream == 0 ? S_OK : D3DERR_INVALIDCALL; }
inline HRESULT TextureStage(std::uint32_t stage) { return stage < kSamplers ? S_OK : D3DERR_INVALIDCALL; }

inline HRESULT ShaderConstants(std::uint32_t startRegister, const float* data, std::uint32_t count,
                               std::uint32_t registers) {
  return data && std::uint64_t{startRegister} + count <= registers ? S_OK : D3DERR_INVALIDCALL;
}

// Lock of a buffer `length` bytes long; size 0 means to the end.
inline HRESULT LockBuffer(std::uint32_t length, bool locked, std::uint32_t offset, std::uint32_t size, void** data) {
  return data && !locked && offset <= length && size <= length - offset ? S_OK : D3DERR_INVALIDCALL;
}
inline HRESULT UnlockBuffer(bool locked) { return locked ? S_OK : D3DERR_INVALIDCALL; }

// Lock of a rectangle (null: all) of a texture level `width` × `height`.
inline HRESULT LockRect(std::uint32_t width, std::uint32_t height, bool locked, const GfxLockedRect* out,
                        const GfxRect* rect) {
  GfxRect r = rect ? *rect : GfxRect{0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
  bool inside = r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
                std::int64_t{r.right} <= std::int64_t{width} && std::int64_t{r.bottom} <= std::int64_t{height};
  return out && !locked && inside ? S_OK : D3DERR_INVALIDCALL;
}

HRESULT CreateVertexBuffer(std::uint32_t length, std::uint32_t pool, const void* out, const void* shared);
HRESULT CreateIndexBuffer(std::uint32_t length, std::uint32_t format, std::uint32_t pool, const void* out,
                          const void* shared);
// `maxSize`: the device's largest texture edge.
HRESULT CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels, std::uint32_t usage,
                      std::uint32_t format, std::uint32_t pool, const void* out, const void* shared,
                      std::uint32_t maxSize);
// Levels of a full mipmap chain from width × height down to 1 × 1.
std::uint32_t FullChainLevels(std::uint32_t width, std::uint32_t height);

// Reads a declaration up to and with its end marker into `elements`. The devices feed float vectors of
// one stream to the shaders: any other element is refused.
HRESULT CreateVertexDeclaration(const void* packed, const void* out, std::vector<GfxVertexElement>& elements);

// Reads a shader token stream the way the Direct3D runtime sizes it: instruction tokens carry their
// length in bits 24..27 (shader model 2 and later), comments theirs in bits 16..30. `versionType` is the
// high word of the version token: 0xFFFE for a vertex shader, 0xFFFF for a pixel shader. Answers the
// tokens from the version to the end token, or 0 for a stream of the wrong kind or without an end in reach.
std::size_t ShaderTokens(const void* function, std::uint32_t versionType);

// Indices a draw of `primitives` primitives of a type reads; 0 for an unknown type or no primitives.
inline std::uint64_t IndicesFor(std::uint32_t type, std::uint32_t primitives) {
  std::uint64_t p = primitives;
  switch (type) {
    case D3DPT_POINTLIST:
      return p;
    case D3DPT_LINELIST:
      return 2 * p;
    case D3DPT_LINESTRIP:
      return p ? p + 1 : 0;
    case D3DPT_TRIANGLELIST:
      return 3 * p;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return p ? p + 2 : 0;
    default:
      return 0;
  }
}

// An index buffer as a draw sees it: its bytes as they are now, and the smallest and largest index it
// held when last unlocked (a draw whose declared range holds those needs no scan of its own).
class IndexData {
 public:
  IndexData(std::uint32_t indexSize, std::uint32_t count) : size_(indexSize), count_(count) {}
  std::uint32_t Count() const { return count_; }
  std::uint32_t Size() const { return size_; }
  std::uint32_t Lowest() const { return lowest_; }
  std::uint32_t Highest() const { return highest_; }
  std::uint32_t At(const std::uint8_t* bytes, std::size_t i) const {
    if (size_ == 4) {
      std::uint32_t v;
      std::memcpy(&v, bytes + 4 * i, 4);
      return v;
    }
    std::uint16_t v;
    std::memcpy(&v, bytes + 2 * i, 2);
    return v;
  }
  // After every unlock; the version tells a cached scan of part of the buffer that it is stale.
  void Unlocked(const std::uint8_t* bytes);
  std::uint64_t Version() const { return version_; }

 private:
  std::uint32_t size_, count_;
  std::uint32_t lowest_ = 0, highest_ = 0;  // a new buffer's bytes are zero
  std::uint64_t version_ = 0;
};

// What a draw checks besides its arguments.
struct DrawInputs {
  bool shaders;              // a vertex and a pixel shader bound
  bool declaration;          // a vertex declaration bound
  std::uint32_t vertices;    // whole vertices in the bound stream past its offset (0: none bound, or stride 0)
  const IndexData* indices;  // null: none bound
  const std::uint8_t* indexBytes;
  bool indicesLocked;
  std::uint32_t indicesId;  // tells buffers apart for the cache; no two live buffers share one
};

// The last part of an index buffer scanned, kept by each device, so redrawing it costs no scan.
struct ScannedRange {
  std::uint32_t id = 0;
  std::uint64_t version = 0;
  std::uint32_t start = 0, count = 0;
  std::uint32_t lowest = 0, highest = 0;
};

// As the debug runtime reports: every index inside the declared range minVertexIndex .. + numVertices,
// every vertex it reaches after baseVertexIndex inside the stream.
inline HRESULT DrawIndexedPrimitive(std::uint32_t type, std::int32_t baseVertexIndex, std::uint32_t minVertexIndex,
                                    std::uint32_t numVertices, std::uint32_t startIndex, std::uint32_t primitiveCount,
                                    const DrawInputs& in, ScannedRange& scanned) {
  std::uint64_t count = IndicesFor(type, primitiveCount);
  if (count == 0 || !in.shaders || !in.declaration || !in.indices || in.vertices == 0 || numVertices == 0)
    return D3DERR_INVALIDCALL;
  if (startIndex + count > in.indices->Count()) return D3DERR_INVALIDCALL;
  auto inside = [&](std::uint32_t lowest, std::uint32_t highest) {
    return lowest >= minVertexIndex && std::uint64_t{highest} < std::uint64_t{minVertexIndex} + numVertices &&
           baseVertexIndex + std::int64_t{lowest} >= 0 && baseVertexIndex + std::int64_t{highest} < in.vertices;
  };
  // The drawn indices lie between the whole buffer's smallest and largest: if those pass, so do they.
  if (!in.indicesLocked && inside(in.indices->Lowest(), in.indices->Highest())) return S_OK;
  ScannedRange& s = scanned;
  if (in.indicesLocked || s.id != in.indicesId || s.version != in.indices->Version() || s.start != startIndex ||
      s.count != count) {
    std::uint32_t lowest = UINT32_MAX, highest = 0;
    for (std::uint64_t i = startIndex; i < startIndex + count; ++i) {
      std::uint32_t v = in.indices->At(in.indexBytes, i);
      lowest = v < lowest ? v : lowest;
      highest = v > highest ? v : highest;
    }
    s = ScannedRange{in.indicesId, in.indices->Version(), startIndex, static_cast<std::uint32_t>(count), lowest,
                     highest};
  }
  return inside(s.lowest, s.highest) ? S_OK : D3DERR_INVALIDCALL;
}

// Whole vertices of `stride` bytes from `offset` to the end of a `length`-byte buffer.
inline std::uint32_t StreamVertices(std::size_t length, std::uint32_t offset, std::uint32_t stride) {
  return stride == 0 || offset >= length ? 0 : static_cast<std::uint32_t>((length - offset) / stride);
}

}  // namespace kuvo::gfxrules
