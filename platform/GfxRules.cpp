// The rules of the calls that create objects, and the readers of declarations and shader tokens.
#include "platform/GfxRules.h"

#include <algorithm>

namespace kuvo::gfxrules {

namespace {

constexpr std::uint32_t kEndToken = 0x0000FFFF;
constexpr std::uint32_t kCommentOpcode = 0xFFFE;
constexpr std::uint8_t kUsageCount = 14;  // D3DDECLUSAGE_POSITION .. D3DDECLUSAGE_SAMPLE
constexpr std::uint8_t kFloat4 = 3;       // D3DDECLTYPE_FLOAT1 (0) .. D3DDECLTYPE_FLOAT4 (3)

bool Pool(std::uint32_t pool) { return pool <= D3DPOOL_SYSTEMMEM; }

}  // namespace

HRESULT CreateVertexBuffer(std::uint32_t length, std::uint32_t pool, const void* out, const void* shared) {
  return out && !shared && length > 0 && Pool(pool) ? S_OK : D3DERR_INVALIDCALL;
}

HRESULT CreateIndexBuffer(std::uint32_t length, std::uint32_t format, std::uint32_t pool, const void* out,
                          const void* shared) {
  bool formatOk = format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32;
  return out && !shared && length > 0 && formatOk && Pool(pool) ? S_OK : D3DERR_INVALIDCALL;
}

std::uint32_t FullChainLevels(std::uint32_t width, std::uint32_t height) {
  std::uint32_t levels = 1;
  while (width > 1 || height > 1) {
    width = std::max(1u, width / 2);
    height = std::max(1u, height / 2);
    ++levels;
  }
  return levels;
}

HRESULT CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels, std::uint32_t usage,
                      std::uint32_t format, std::uint32_t pool, const void* out, const void* shared,
                      std::uint32_t maxSize) {
  bool autogen = (usage & D3DUSAGE_AUTOGENMIPMAP) != 0;
  bool sizeOk = width >= 1 && height >= 1 && width <= maxSize && height <= maxSize;
  // Neither device renders into textures: no usage but a generated mipmap chain.
  bool usageOk = (usage & ~D3DUSAGE_AUTOGENMIPMAP) == 0;
  bool levelsOk = sizeOk && (autogen ? levels <= 1 : levels <= FullChainLevels(width, height));
  bool formatOk = format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8;
  return out && !shared && sizeOk && usageOk && levelsOk && formatOk && Pool(pool) ? S_OK : D3DERR_INVALIDCALL;
}

HRESULT CreateVertexDeclaration(const void* packed, const void* out, std::vector<GfxVertexElement>& elements) {
  elements.clear();
  if (!packed || !out) return D3DERR_INVALIDCALL;
  const auto* bytes = static_cast<const std::uint8_t*>(packed);
  for (std::size_t i = 0; i <= kMaxDeclarationElements; ++i) {
    GfxVertexElement e;
    std::memcpy(&e, bytes + 8 * i, 8);
    elements.push_back(e);
    if (e.Stream == D3DDECL_END_STREAM) return S_OK;
    if (e.Stream != 0 || e.Type > kFloat4 || e.Method != D3DDECLMETHOD_DEFAULT || e.Usage >= kUsageCount ||
        e.UsageIndex > 15)
      return D3DERR_INVALIDCALL;
  }
  return D3DERR_INVALIDCALL;  // no end marker in reach
}

std::size_t ShaderTokens(const void* function, std::uint32_t versionType) {
  if (!function) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(function);
  auto tokenAt = [bytes](std::size_t i) {
    std::uint32_t t;
    std::memcpy(&t, bytes + 4 * i, 4);
    return t;
  };
  if ((tokenAt(0) >> 16) != versionType) return 0;
  std::size_t i = 1;
  while (i < kMaxShaderTokens) {
    std::uint32_t t = tokenAt(i);
    if (t == kEndToken) return i + 1;
    if ((t & 0xFFFF) == kCommentOpcode)
      i += 1 + ((t >> 16) & 0x7FFF);
    else
      i += 1 + ((t >> 24) & 0x0F);
  }
  return 0;
}

void IndexData::Unlocked(const std::uint8_t* bytes) {
  ++version_;
  lowest_ = count_ ? UINT32_MAX : 0;
  highest_ = 0;
  for (std::uint32_t i = 0; i < count_; ++i) {
    std::uint32_t v = At(bytes, i);
    lowest_ = std::min(lowest_, v);
    highest_ = std::max(highest_, v);
  }
}

}  // namespace kuvo::gfxrules
