// The six shaders drawn on the OpenGL device against the token interpreter (tests/oracles/ShaderMachine.h), which
// gives Direct3D 9's meaning of every instruction: random inputs, constants and textures, every output
// read back and compared. Vertex shaders are drawn as points, one pixel each, at a chosen pixel; each
// output register is shown in colour by a probe pixel shader. Pixel shaders are drawn on small squares
// with constant inputs and point-sampled random textures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/GlDeviceFixture.h"
#include "tests/oracles/ShaderMachine.h"

using namespace kuvo;
using namespace kuvo::testing;

namespace {

// Read-back has 8 bits a channel: a value v in 0..1 comes back as round(255 v), half a level off at
// most. GL and the interpreter add and multiply in their own order, far below a hundredth of a level at
// these magnitudes; hardware that interpolates colours in fewer bits may lose up to one level more.
constexpr float kTolerance = 1.5f;

// A small generator of its own, so every machine and standard library draws the same cases.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed) {}
  float Uniform(float lo, float hi) {
    state_ = state_ * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(state_ >> 8) / 16777216.0f;
  }
  Float4 Vector(float lo, float hi) { return {Uniform(lo, hi), Uniform(lo, hi), Uniform(lo, hi), Uniform(lo, hi)}; }
  Float4 Unit() {
    for (;;) {
      Float4 v{Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1), 0};
      float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
      if (l > 0.2f && l <= 1) return {v[0] / l, v[1] / l, v[2] / l, 0};
    }
  }
  std::uint32_t Bits() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_;
  }

 private:
  std::uint32_t state_;
};

std::vector<std::uint32_t> Tokens(const unsigned char* bytes, std::size_t size) {
  std::vector<std::uint32_t> tokens(size / 4);
  std::memcpy(tokens.data(), bytes, tokens.size() * 4);
  return tokens;
}

float Clamp01(float x) { return std::fmin(1.0f, std::fmax(0.0f, x)); }

// A world matrix as rows of a row-vector transform: a random rotation and a translation.
std::array<Float4, 4> RandomWorld(Random& random) {
  Float4 q = random.Vector(-1, 1);
  float l = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  float w = q[0] / l, x = q[1] / l, y = q[2] / l, z = q[3] / l;
  return {{{1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y), 0},
           {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x), 0},
           {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y), 0},
           {random.Uniform(-2, 2), random.Uniform(-2, 2), random.Uniform(-2, 2), 1}}};
}

// The four registers c0..c3 a vertex shader dots its position with: random, with a little perspective.
std::array<Float4, 4> RandomViewProjection(Random& random) {
  std::array<Float4, 4> c{};
  for (int k = 0; k < 3; ++k) {
    c[k] = random.Vector(-0.5f, 0.5f);
    c[k][k] += 1.5f;
  }
  c[3] = {random.Uniform(-0.1f, 0.1f), random.Uniform(-0.1f, 0.1f), random.Uniform(-0.1f, 0.1f),
          random.Uniform(0.8f, 2.0f)};
  return c;
}

float Det3(const float m[3][3]) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// The object-space point that c0..c3 take to clip coordinates with x / w, y / w, z / w = (x, y, z), and its
// w; false when there is none in reach or it lies behind the eye.
bool Solve(const std::array<Float4, 4>& c, float x, float y, float z, Float4& point, float& w) {
  const float target[3] = {x, y, z};
  float a[3][3], b[3];
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < 3; ++j) a[r][j] = c[r][j] - target[r] * c[3][j];
    b[r] = -(c[r][3] - target[r] * c[3][3]);
  }
  float d = Det3(a);
  if (std::fabs(d) < 1e-3f) return false;
  float p[3];
  for (int j = 0; j < 3; ++j) {
    float m[3][3];
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) m[r][k] = k == j ? b[r] : a[r][k];
    p[j] = Det3(m) / d;
  }
  point = {p[0], p[1], p[2], 1};
  w = c[3][0] * p[0] + c[3][1] * p[1] + c[3][2] * p[2] + c[3][3];
  return w > 0.3f && std::fabs(p[0]) < 20 && std::fabs(p[1]) < 20 && std::fabs(p[2]) < 20;
}

// The components of an output register that a shader writes, and how they are shown in colour.
struct Output {
  std::uint32_t type, number, mask;
  const char* name;
};

class GlShaderTest : public GlDeviceTest {
 protected:
  // Counts and describes read-back channels further than the tolerance from the expected 0..1 values.
  struct Mismatches {
    int count = 0;
    std::string first;
    void Check(const std::uint8_t* pixel, const Float4& expected, std::uint32_t mask, const std::string& what) {
      for (int c = 0; c < 4; ++c) {
        if (!(mask & (1u << c))) continue;
        float want = 255.0f * expected[c];
        if (std::fabs(static_cast<float>(pixel[c]) - want) <= kTolerance) continue;
        if (++count <= 8) {
          char line[160];
          std::snprintf(line, sizeof line, "%s %c: read %d, Direct3D gives %.1f\n", what.c_str(), "xyzw"[c],
                        pixel[c], static_cast<double>(want));
          first += line;
        }
      }
    }
  };

  GfxPixelShader* Probe(const std::string& source) {
    auto tokens = Assemble(source);
    EXPECT_FALSE(tokens.empty()) << source;
    GfxPixelShader* ps = nullptr;
    EXPECT_EQ(device->CreatePixelShader(tokens.data(), &ps), S_OK);
    probes.push_back(ps);
    return ps;
  }

  void TearDown() override {
    for (auto* p : probes)
      if (p) p->Release();
    for (auto* t : textures)
      if (t) t->Release();
    GlDeviceTest::TearDown();
  }

  // One vertex shader on 16 x 16 points a round, each output register read through its probe.
  void CompareVertexShader(const unsigned char* bytes, std::size_t size, GfxVertexShader* shader,
                           const std::vector<Output>& outputs, bool world, std::uint32_t seed) {
    // Texture sets are shown mapped from -2..2 to 0..1; colours as they are (the device clamps them).
    GfxPixelShader* texture0 = Probe("ps_2_0\ndef c0, 0.25, 0.25, 0.25, 0.25\ndef c1, 0.5, 0.5, 0.5, 0.5\n"
                                     "dcl t0\nmad r0, t0, c0, c1\nmov oC0, r0\n");
    GfxPixelShader* texture1 = Probe("ps_2_0\ndef c0, 0.25, 0.25, 0.25, 0.25\ndef c1, 0.5, 0.5, 0.5, 0.5\n"
                                     "dcl t1\nmad r0, t1, c0, c1\nmov oC0, r0\n");
    GfxPixelShader* colour = Probe("ps_2_0\ndcl v0\nmov oC0, v0\n");
    std::vector<std::uint32_t> tokens = Tokens(bytes, size);
    Random random(seed);
    Mismatches wrong;
    int compared = 0;
    for (int round = 0; round < 4; ++round) {
      std::array<Float4, 4> viewProjection = RandomViewProjection(random), worldRows = RandomWorld(random);
      Float4 eye = random.Vector(-3, 3);
      std::vector<MeshVertex> vertices;
      std::vector<ShaderMachine> machines;
      std::vector<int> pixels;  // the pixel each point must land on, or -1 for one that is clipped
      for (int cell = 0; cell < 16 * 16; ++cell) {
        int px = 4 * (cell % 16) + 1, py = 4 * (cell / 16) + 1;
        // One point in eight lies just in front of the near plane, two behind it or beyond the far plane.
        int kind = cell % 8;
        bool clipped = kind == 3 || kind == 7;
        float depth = kind == 1 ? random.Uniform(0.001f, 0.05f) : kind == 3 ? random.Uniform(-0.2f, -0.01f)
                      : kind == 7                                 ? random.Uniform(1.01f, 1.2f)
                                                                  : random.Uniform(0.05f, 0.95f);
        // A quarter pixel past Direct3D's centre, so the point lands on its pixel whether or not the
        // half-pixel offset is right (the offset has a test of its own).
        float x = 2.0f * (static_cast<float>(px) + 0.25f) / kSize - 1.0f;
        float y = 1.0f - 2.0f * (static_cast<float>(py) + 0.25f) / kSize;
        Float4 position{x, y, depth, 1};
        float w = 1;
        if (world) {
          bool solved = false;
          for (int attempt = 0; attempt < 50 && !solved; ++attempt)
            solved = Solve(viewProjection, x, y, depth, position, w);
          if (!solved) continue;
        }
        Float4 normal = random.Unit(), t0 = random.Vector(-2, 2), t1 = random.Vector(-2, 2);
        ShaderMachine vs(tokens);
        if (world) {
          for (std::uint32_t k = 0; k < 4; ++k) vs.Constant(k, viewProjection[k]);
          vs.Transposed(4, worldRows);
          vs.Constant(8, eye);
        }
        // The mesh declaration's elements by the registers each shader declares for them (ScreenVS has no
        // normal); three floats read with w = 1, two with z = 0, w = 1.
        vs.Input(0, position);
        if (world) vs.Input(1, {normal[0], normal[1], normal[2], 1});
        vs.Input(world ? 2 : 1, {t0[0], t0[1], 0, 1});
        vs.Input(world ? 3 : 2, {t1[0], t1[1], 0, 1});
        vs.Run();
        Float4 clip = vs.Output(OutPosition, 0);
        EXPECT_NEAR(clip[3], w, 1e-3f * w);
        EXPECT_NEAR(clip[0] / clip[3], x, 1e-4f) << "the point's own position";
        vertices.push_back(MeshVertex{position[0], position[1], position[2], normal[0], normal[1], normal[2], t0[0],
                                      t0[1], t1[0], t1[1]});
        machines.push_back(vs);
        pixels.push_back(clipped ? -1 : py * kSize + px);
      }
      ASSERT_GT(vertices.size(), 200u) << "positions found for most points";
      if (world) {
        float constants[36];
        for (int k = 0; k < 4; ++k) std::memcpy(constants + 4 * k, viewProjection[k].data(), 16);
        for (int k = 0; k < 4; ++k)
          for (int r = 0; r < 4; ++r) constants[16 + 4 * k + r] = worldRows[r][k];
        std::memcpy(constants + 32, eye.data(), 16);
        ASSERT_EQ(device->SetVertexShaderConstantF(0, constants, 9), S_OK);
      }
      std::vector<std::uint16_t> indices(vertices.size());
      for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint16_t>(i);
      BindMesh(vertices, indices);
      ASSERT_EQ(device->SetVertexShader(shader), S_OK);
      for (const Output& out : outputs) {
        GfxPixelShader* probe = out.type == OutColour ? colour : out.number == 0 ? texture0 : texture1;
        Begin(0);
        ASSERT_EQ(device->SetPixelShader(probe), S_OK);
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_POINTLIST, 0, 0, static_cast<std::uint32_t>(vertices.size()),
                                               0, static_cast<std::uint32_t>(vertices.size())),
                  S_OK);
        ASSERT_EQ(device->EndScene(), S_OK);
        std::vector<std::uint8_t> rgba = ReadAll();
        std::vector<bool> lit(static_cast<std::size_t>(kSize) * kSize, false);
        for (std::size_t i = 0; i < machines.size(); ++i) {
          if (pixels[i] < 0) continue;
          lit[static_cast<std::size_t>(pixels[i])] = true;
          Float4 v = machines[i].Output(out.type, out.number);
          for (float& c : v) c = out.type == OutColour ? Clamp01(c) : Clamp01(0.25f * c + 0.5f);
          wrong.Check(&rgba[4 * static_cast<std::size_t>(pixels[i])], v, out.mask,
                      std::string(out.name) + " of point " + std::to_string(i) + " round " + std::to_string(round));
          ++compared;
        }
        // Nothing anywhere else: no point landed off its pixel, and the clipped ones drew nothing.
        for (std::size_t p = 0; p < lit.size(); ++p)
          if (!lit[p]) wrong.Check(&rgba[4 * p], {0, 0, 0, 0}, 0xF, "pixel " + std::to_string(p) + " (no point)");
      }
    }
    EXPECT_GT(compared, static_cast<int>(4 * 180 * outputs.size())) << "most of 4 rounds of 192 drawn points";
    EXPECT_EQ(wrong.count, 0) << wrong.first;
  }

  // One pixel shader on 8 x 8 squares a round, with random 8 x 8 textures on stages 0..2.
  void ComparePixelShader(const unsigned char* bytes, std::size_t size, GfxPixelShader* shader, std::uint32_t seed) {
    auto passTokens = Assemble("vs_2_0\ndcl_position v0\nmov oPos, v0\nmov oT0, c4\nmov oT1, c5\nmov oD0, c6\n");
    ASSERT_FALSE(passTokens.empty());
    GfxVertexShader* pass = nullptr;
    ASSERT_EQ(device->CreateVertexShader(passTokens.data(), &pass), S_OK);
    std::vector<std::uint32_t> tokens = Tokens(bytes, size);
    Random random(seed);
    Mismatches wrong;
    int compared = 0, ambiguous = 0;
    for (int round = 0; round < 4; ++round) {
      std::uint32_t texels[3][64];
      for (std::uint32_t stage = 0; stage < 3; ++stage) {
        for (std::uint32_t& t : texels[stage]) t = random.Bits();
        GfxTexture* texture = MakeTexture(8, 8, 1, [&](std::uint32_t, std::uint32_t x, std::uint32_t y) {
          return texels[stage][y * 8 + x];
        });
        textures.push_back(texture);
        ASSERT_EQ(device->SetTexture(stage, texture), S_OK);
      }
      // Point sampling with wrapping, as the device starts; a coordinate too near a texel edge to tell
      // which texel GL takes marks its case as undecided.
      bool edge = false;
      auto sampler = [&](std::uint32_t stage, Float4 uv) -> Float4 {
        float fx = 8.0f * (uv[0] - std::floor(uv[0])), fy = 8.0f * (uv[1] - std::floor(uv[1]));
        float margin = 0.02f;
        if (fx - std::floor(fx) < margin || std::ceil(fx) - fx < margin || fy - std::floor(fy) < margin ||
            std::ceil(fy) - fy < margin)
          edge = true;
        auto x = std::min(7, static_cast<int>(fx)), y = std::min(7, static_cast<int>(fy));
        std::uint32_t argb = texels[stage][y * 8 + x];
        return {static_cast<float>((argb >> 16) & 0xFF) / 255.0f, static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                static_cast<float>(argb & 0xFF) / 255.0f, static_cast<float>(argb >> 24) / 255.0f};
      };
      Begin(0);
      ASSERT_EQ(device->SetVertexShader(pass), S_OK);
      ASSERT_EQ(device->SetPixelShader(shader), S_OK);
      std::vector<ShaderMachine> machines;
      std::vector<bool> decided;
      for (int cell = 0; cell < 64; ++cell) {
        Float4 t0 = random.Vector(-2, 2), t1 = random.Vector(-2, 2), v0 = random.Vector(0, 1);
        Float4 c0 = random.Vector(0, 1);
        float vc[12];
        std::memcpy(vc, t0.data(), 16);
        std::memcpy(vc + 4, t1.data(), 16);
        std::memcpy(vc + 8, v0.data(), 16);
        ASSERT_EQ(device->SetVertexShaderConstantF(4, vc, 3), S_OK);
        ASSERT_EQ(device->SetPixelShaderConstantF(0, c0.data(), 1), S_OK);
        float x0 = -1 + 0.25f * static_cast<float>(cell % 8), y0 = 1 - 0.25f * static_cast<float>(cell / 8);
        BindMesh({At(x0, y0 - 0.25f, 0.5f), At(x0, y0, 0.5f), At(x0 + 0.25f, y0, 0.5f), At(x0 + 0.25f, y0 - 0.25f, 0.5f)},
                 {0, 1, 2, 0, 2, 3});
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
        edge = false;
        ShaderMachine ps(tokens, sampler);
        ps.Texture(0, t0);
        ps.Texture(1, t1);
        ps.Input(0, v0);
        ps.Constant(0, c0);
        ps.Run();
        machines.push_back(ps);
        decided.push_back(!edge);
      }
      ASSERT_EQ(device->EndScene(), S_OK);
      std::vector<std::uint8_t> rgba = ReadAll();
      for (int cell = 0; cell < 64; ++cell) {
        if (!decided[cell]) {
          ++ambiguous;
          continue;
        }
        Float4 v = machines[cell].Output(OutPixel, 0);
        for (float& c : v) c = Clamp01(c);
        std::size_t p = static_cast<std::size_t>((8 * (cell / 8) + 4) * kSize + 8 * (cell % 8) + 4);
        wrong.Check(&rgba[4 * p], v, 0xF, "square " + std::to_string(cell) + " round " + std::to_string(round));
        ++compared;
      }
    }
    pass->Release();
    EXPECT_GT(compared, 200) << ambiguous << " cases too near a texel edge";
    EXPECT_EQ(wrong.count, 0) << wrong.first;
  }

  std::vector<GfxPixelShader*> probes;
  std::vector<GfxTexture*> textures;
};

constexpr std::uint32_t kAll = 0xF, kXy = 0x3;

TEST_F(GlShaderTest, ReflectVSGivesDirect3DsOutputs) {
  CompareVertexShader(ShaderReflectVS, ShaderReflectVSSize, reflectVS,
                      {{OutTexture, 0, kXy, "oT0"}, {OutTexture, 1, kAll, "oT1"}, {OutColour, 0, kAll, "oD0"}}, true,
                      102);
}

TEST_F(GlShaderTest, LightMapVSGivesDirect3DsOutputs) {
  CompareVertexShader(ShaderLightMapVS, ShaderLightMapVSSize, lightMapVS,
                      {{OutTexture, 0, kXy, "oT0"}, {OutTexture, 1, kXy, "oT1"}, {OutColour, 0, kAll, "oD0"}}, true,
                      104);
}

TEST_F(GlShaderTest, ScreenVSGivesDirect3DsOutputs) {
  CompareVertexShader(ShaderScreenVS, ShaderScreenVSSize, screenVS, {{OutTexture, 1, kAll, "oT1"}}, false, 107);
}

TEST_F(GlShaderTest, ReflectPSGivesDirect3DsColour) {
  GfxPixelShader* ps = nullptr;
  ASSERT_EQ(device->CreatePixelShader(ShaderReflectPS, &ps), S_OK);
  probes.push_back(ps);
  ComparePixelShader(ShaderReflectPS, ShaderReflectPSSize, ps, 103);
}

TEST_F(GlShaderTest, LightMapPSGivesDirect3DsColour) {
  GfxPixelShader* ps = nullptr;
  ASSERT_EQ(device->CreatePixelShader(ShaderLightMapPS, &ps), S_OK);
  probes.push_back(ps);
  ComparePixelShader(ShaderLightMapPS, ShaderLightMapPSSize, ps, 105);
}

TEST_F(GlShaderTest, PlainTexturePSGivesDirect3DsColour) {
  ComparePixelShader(ShaderPlainTexturePS, ShaderPlainTexturePSSize, plainPS, 106);
}

}  // namespace
