// A small interpreter of shader model 2 tokens, with Direct3D 9's meaning for each instruction the game's
// six shaders use: the reference that both the token tests and the read-back tests on the OpenGL device
// compare against.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace kuvo::testing {

// One instruction of a shader model 2 stream: the instruction token and the tokens that follow it.
struct Instruction {
  std::uint32_t opcode;
  std::vector<std::uint32_t> params;
};

// Splits the stream after the version token by the lengths in bits 24..27, up to the end token.
inline std::vector<Instruction> Split(const std::vector<std::uint32_t>& tokens) {
  std::vector<Instruction> out;
  std::size_t i = 1;
  while (i < tokens.size() && tokens[i] != 0x0000FFFFu) {
    std::size_t length = (tokens[i] >> 24) & 0x0F;
    Instruction in{tokens[i] & 0xFFFF, {}};
    for (std::size_t k = 1; k <= length && i + k < tokens.size(); ++k) in.params.push_back(tokens[i + k]);
    out.push_back(in);
    i += 1 + length;
  }
  return out;
}

// The register type is split over bits 28..30 and 11..12 of a parameter token.
inline std::uint32_t RegisterType(std::uint32_t t) { return ((t >> 28) & 7) | ((t >> 8) & 0x18); }
inline std::uint32_t RegisterNumber(std::uint32_t t) { return t & 0x7FF; }

using Float4 = std::array<float, 4>;

// Register types of outputs and inputs, as the machine keys them.
constexpr std::uint32_t InInput = 1, InConstant = 2, InTexture = 3, OutPosition = 4, OutColour = 5,
                        OutTexture = 6, OutPixel = 8;

// Runs a shader's instructions on the inputs and constants given, as the vertex or pixel unit would
// (without the colour outputs' clamp, which the tests apply where it matters). `texld` asks the sampler
// given for the texel at a coordinate.
class ShaderMachine {
 public:
  using Sampler = std::function<Float4(std::uint32_t stage, Float4 coordinate)>;

  explicit ShaderMachine(const std::vector<std::uint32_t>& tokens, Sampler sampler = {})
      : program_(Split(tokens)), sampler_(std::move(sampler)) {}

  void Input(std::uint32_t n, Float4 v) { registers_[{InInput, n}] = v; }
  void Texture(std::uint32_t n, Float4 v) { registers_[{InTexture, n}] = v; }
  void Constant(std::uint32_t n, Float4 v) { registers_[{InConstant, n}] = v; }
  // Rows of a row-vector matrix given transposed into four registers, as the draw passes upload them.
  void Transposed(std::uint32_t first, const std::array<Float4, 4>& rows) {
    for (std::uint32_t c = 0; c < 4; ++c) Constant(first + c, {rows[0][c], rows[1][c], rows[2][c], rows[3][c]});
  }
  Float4 Output(std::uint32_t type, std::uint32_t n) { return registers_[{type, n}]; }

  void Run() {
    for (const Instruction& in : program_) {
      const auto& p = in.params;
      switch (in.opcode) {
        case 0x1F: break;  // dcl
        case 0x51: Write(p[0], {Bits(p[1]), Bits(p[2]), Bits(p[3]), Bits(p[4])}); break;
        case 0x01: Write(p[0], Read(p[1])); break;
        case 0x02: Write(p[0], Each(Read(p[1]), Read(p[2]), [](float a, float b) { return a + b; })); break;
        case 0x05: Write(p[0], Each(Read(p[1]), Read(p[2]), [](float a, float b) { return a * b; })); break;
        case 0x04:
          Write(p[0], Each(Each(Read(p[1]), Read(p[2]), [](float a, float b) { return a * b; }), Read(p[3]),
                           [](float a, float b) { return a + b; }));
          break;
        case 0x08: {
          float d = Dot(Read(p[1]), Read(p[2]), 3);
          Write(p[0], {d, d, d, d});
          break;
        }
        case 0x14: Write(p[0], Matrix(p[1], p[2], 4, 4)); break;
        case 0x15: Write(p[0], Matrix(p[1], p[2], 3, 4)); break;
        case 0x17: Write(p[0], Matrix(p[1], p[2], 3, 3)); break;
        case 0x24: {  // all four components divided by the length of x, y, z
          Float4 v = Read(p[1]);
          float scale = 1.0f / std::sqrt(Dot(v, v, 3));
          Write(p[0], {v[0] * scale, v[1] * scale, v[2] * scale, v[3] * scale});
          break;
        }
        case 0x42:  // texld d, coordinate, sampler
          ASSERT_TRUE(sampler_) << "texld without a sampler";
          Write(p[0], sampler_(RegisterNumber(p[2]), Read(p[1])));
          break;
        default: FAIL() << "no interpretation for opcode " << in.opcode;
      }
    }
  }

 private:
  static float Bits(std::uint32_t t) { return std::bit_cast<float>(t); }
  template <class Op>
  static Float4 Each(Float4 a, Float4 b, Op op) {
    return {op(a[0], b[0]), op(a[1], b[1]), op(a[2], b[2]), op(a[3], b[3])};
  }
  static float Dot(Float4 a, Float4 b, int n) {
    float s = 0;
    for (int k = 0; k < n; ++k) s += a[k] * b[k];
    return s;
  }
  Float4 Read(std::uint32_t t) {
    Float4 v = registers_[{RegisterType(t), RegisterNumber(t)}];
    std::uint32_t swizzle = (t >> 16) & 0xFF;
    Float4 out{v[swizzle & 3], v[(swizzle >> 2) & 3], v[(swizzle >> 4) & 3], v[(swizzle >> 6) & 3]};
    if (((t >> 24) & 0xF) == 1)
      for (float& x : out) x = -x;
    return out;
  }
  void Write(std::uint32_t t, Float4 v) {
    Float4& r = registers_[{RegisterType(t), RegisterNumber(t)}];
    for (int c = 0; c < 4; ++c)
      if (t & (1u << (16 + c))) r[c] = v[c];
  }
  // m4x4, m4x3, m3x3: each output component a dot product with one of the consecutive registers from `first`.
  Float4 Matrix(std::uint32_t source, std::uint32_t first, int outputs, int width) {
    Float4 v = Read(source), out{};
    for (int k = 0; k < outputs; ++k) out[k] = Dot(v, Read(first + static_cast<std::uint32_t>(k)), width);
    return out;
  }

  std::vector<Instruction> program_;
  Sampler sampler_;
  std::map<std::pair<std::uint32_t, std::uint32_t>, Float4> registers_;
};

}  // namespace kuvo::testing
