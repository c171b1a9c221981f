// Token-level rewrites of the game's shaders for MojoShader's GLSL; see GlShaderTokens.h.
#include "platform/gl/GlShaderTokens.h"

#include <algorithm>

namespace kuvo::gl {

namespace {

constexpr std::uint32_t kEnd = 0x0000FFFFu;
constexpr std::uint32_t kTempRegisters = 12;  // r0..r11 in shader model 2

// Opcodes.
constexpr std::uint32_t kMov = 0x01, kAdd = 0x02, kMad = 0x04, kMul = 0x05, kRsq = 0x07, kDp3 = 0x08,
                        kM4x4 = 0x14, kNrm = 0x24, kDcl = 0x1F, kDef = 0x51, kComment = 0xFFFE;
// Register types, split over bits 28..30 and 11..12 of a parameter token.
constexpr std::uint32_t kTemp = 0, kInput = 1, kConst = 2, kRastOut = 4;
// Swizzles (two bits a component, x first) and write masks.
constexpr std::uint32_t kXyzw = 0xE4, kXxxx = 0x00, kZzzz = 0xAA, kWwww = 0xFF;
constexpr std::uint32_t kMaskX = 0x1, kMaskXy = 0x3, kMaskZ = 0x4, kMaskAll = 0xF;

std::uint32_t RegisterType(std::uint32_t t) { return ((t >> 28) & 7) | ((t >> 8) & 0x18); }
std::uint32_t RegisterNumber(std::uint32_t t) { return t & 0x7FF; }

std::uint32_t Type(std::uint32_t type) { return ((type & 7) << 28) | ((type & 0x18) << 8); }
std::uint32_t Dest(std::uint32_t type, std::uint32_t number, std::uint32_t mask) {
  return 0x80000000u | Type(type) | (mask << 16) | number;
}
std::uint32_t Src(std::uint32_t type, std::uint32_t number, std::uint32_t swizzle, bool negate = false) {
  return 0x80000000u | Type(type) | (swizzle << 16) | (negate ? 1u << 24 : 0u) | number;
}
std::uint32_t Op(std::uint32_t opcode, std::uint32_t parameters) { return opcode | (parameters << 24); }

bool IsPosition(std::uint32_t t) { return RegisterType(t) == kRastOut && RegisterNumber(t) == 0; }

// Flow control (call, loop, rep, if and their ends, break) would make the order of writes unknowable.
bool IsFlowControl(std::uint32_t opcode) { return (opcode >= 0x19 && opcode <= 0x1E) || (opcode >= 0x26 && opcode <= 0x2D); }

// A source read as it stands: all four components in order, no modifier, no relative address.
bool IsPlainSource(std::uint32_t t) { return ((t >> 16) & 0xFF) == kXyzw && ((t >> 24) & 0xF) == 0 && !(t & 0x2000); }

// A destination written whole: all four components, no saturation or shift, no relative address.
bool IsWholeDestination(std::uint32_t t) { return ((t >> 16) & 0xF) == kMaskAll && ((t >> 20) & 0xFF) == 0 && !(t & 0x2000); }

}  // namespace

std::vector<std::uint32_t> RewriteForGl(const std::uint32_t* tokens, std::uint32_t length,
                                        const TokenRewrite& rewrite) {
  if (length < 2 || ((tokens[0] >> 8) & 0xFF) != 2 || tokens[length - 1] != kEnd) return {};
  bool vertex = (tokens[0] >> 16) == 0xFFFEu;

  // The first temporaries no instruction names are the rewrite's own.
  std::uint32_t firstFree = 0;
  for (std::uint32_t i = 1; i < length - 1;) {
    std::uint32_t t = tokens[i];
    if ((t & 0xFFFF) == kComment) {
      i += 1 + ((t >> 16) & 0x7FFF);
      continue;
    }
    std::uint32_t count = (t >> 24) & 0xF;
    if (i + count >= length) return {};
    std::uint32_t opcode = t & 0xFFFF;
    if (opcode != kDef)  // a def's operands after its register are floats
      for (std::uint32_t k = 1; k <= count; ++k)
        if (RegisterType(tokens[i + k]) == kTemp && !(opcode == kDcl && k == 1))
          firstFree = std::max(firstFree, RegisterNumber(tokens[i + k]) + 1);
    i += 1 + count;
  }
  const std::uint32_t position = firstFree, scratch = firstFree + (vertex ? 1 : 0);
  if (scratch >= kTempRegisters) return {};

  std::vector<std::uint32_t> out{tokens[0]};
  out.reserve(length + 16);
  for (std::uint32_t i = 1; i < length - 1;) {
    std::uint32_t t = tokens[i];
    std::uint32_t count = (t & 0xFFFF) == kComment ? ((t >> 16) & 0x7FFF) : (t >> 24) & 0xF;
    std::uint32_t opcode = t & 0xFFFF;
    std::vector<std::uint32_t> params(tokens + i + 1, tokens + i + 1 + count);
    i += 1 + count;
    if (opcode == kComment) continue;
    if (vertex && opcode != kDcl && opcode != kDef && !params.empty() && IsPosition(params[0]))
      params[0] = (params[0] & 0x0FFF0000u) | Dest(kTemp, position, 0);  // same mask and modifiers
    if (opcode != kNrm) {
      out.push_back(t);
      out.insert(out.end(), params.begin(), params.end());
      continue;
    }
    // nrm d, s  ->  dp3 x.x, s, s;  rsq x.x, x.x;  mul d, s, x.x  (a relative source carries a second token)
    std::vector<std::uint32_t> source(params.begin() + 1, params.end());
    auto n = static_cast<std::uint32_t>(source.size());
    out.push_back(Op(kDp3, 1 + 2 * n));
    out.push_back(Dest(kTemp, scratch, kMaskX));
    out.insert(out.end(), source.begin(), source.end());
    out.insert(out.end(), source.begin(), source.end());
    out.insert(out.end(), {Op(kRsq, 2), Dest(kTemp, scratch, kMaskX), Src(kTemp, scratch, kXxxx)});
    out.push_back(Op(kMul, 2 + n));
    out.push_back(params[0]);
    out.insert(out.end(), source.begin(), source.end());
    out.push_back(Src(kTemp, scratch, kXxxx));
  }

  if (vertex) {
    // p.xy += p.w * (1 / width, -1 / height); z = 2z - w without clip control; oPos = p.
    out.insert(out.end(), {Op(kMad, 4), Dest(kTemp, position, kMaskXy), Src(kTemp, position, kWwww),
                           Src(kConst, kFixUpConstant, kXyzw), Src(kTemp, position, kXyzw)});
    if (rewrite.remapDepth)
      out.insert(out.end(), {Op(kMad, 4), Dest(kTemp, position, kMaskZ), Src(kTemp, position, kZzzz),
                             Src(kConst, kFixUpConstant, kZzzz), Src(kTemp, position, kWwww, true)});
    out.insert(out.end(), {Op(kMov, 2), Dest(kRastOut, 0, kMaskAll), Src(kTemp, position, kXyzw)});
  }
  out.push_back(kEnd);
  return out;
}

PositionTransform FindPositionTransform(const std::uint32_t* tokens, std::uint32_t length) {
  if (length < 2 || tokens[0] >> 16 != 0xFFFEu || ((tokens[0] >> 8) & 0xFF) != 2 || tokens[length - 1] != kEnd)
    return {};
  int positionInput = -1, input = -1, constant = -1;
  std::vector<std::uint32_t> defined;
  for (std::uint32_t i = 1; i < length - 1;) {
    std::uint32_t t = tokens[i];
    std::uint32_t opcode = t & 0xFFFF;
    std::uint32_t count = opcode == kComment ? ((t >> 16) & 0x7FFF) : (t >> 24) & 0xF;
    if (i + count >= length) return {};
    const std::uint32_t* p = tokens + i + 1;
    i += 1 + count;
    if (opcode == kComment) continue;
    if (IsFlowControl(opcode)) return {};
    if (opcode == kDcl && count == 2) {
      // Usage 0 (position), usage index 0, on an input register.
      if ((p[0] & 0x1F) == 0 && ((p[0] >> 16) & 0xF) == 0 && RegisterType(p[1]) == kInput)
        positionInput = static_cast<int>(RegisterNumber(p[1]));
      continue;
    }
    if (opcode == kDef) {
      if (count >= 1) defined.push_back(RegisterNumber(p[0]));
      continue;
    }
    if (count == 0 || !IsPosition(p[0])) continue;
    // The only write of oPos, whole, from a plain input and four plain constants.
    if (constant >= 0 || opcode != kM4x4 || count != 3 || !IsWholeDestination(p[0]) ||
        RegisterType(p[1]) != kInput || !IsPlainSource(p[1]) || RegisterType(p[2]) != kConst || !IsPlainSource(p[2]))
      return {};
    input = static_cast<int>(RegisterNumber(p[1]));
    constant = static_cast<int>(RegisterNumber(p[2]));
  }
  if (constant < 0 || input != positionInput || constant + 3 >= static_cast<int>(kFixUpConstant)) return {};
  for (std::uint32_t c : defined)
    if (c >= static_cast<std::uint32_t>(constant) && c < static_cast<std::uint32_t>(constant) + 4) return {};
  return {input, constant};
}

}  // namespace kuvo::gl
