// The vertex declaration and the six shader token streams: the packed declaration bytes, the streams'
// sizes and framing, their instructions decoded back to assembly and run on the token interpreter
// (tests/oracles/ShaderMachine.h), and creation, release and failure on the recording device.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Errors.h"
#include "platform/Gfx.h"
#include "platform/testing/RecordingGfx.h"
#include "tests/GfxTestSupport.h"
#include "tests/oracles/ShaderMachine.h"
#include "textures/modShader.h"

using namespace kuvo;
using namespace kuvo::testing;

namespace {

constexpr std::uint32_t VertexShader20 = 0xFFFE0200;
constexpr std::uint32_t PixelShader20 = 0xFFFF0200;
constexpr std::uint32_t EndToken = 0x0000FFFF;

struct Stream {
  const char* name;
  const unsigned char* bytes;
  std::size_t size;
  std::size_t expectedSize;
  std::uint32_t version;
};

// Resource order 102..107.
const std::array<Stream, 6>& Streams() {
  static const std::array<Stream, 6> streams{{
      {"ReflectVS", ShaderReflectVS, ShaderReflectVSSize, 376, VertexShader20},
      {"ReflectPS", ShaderReflectPS, ShaderReflectPSSize, 332, PixelShader20},
      {"LightMapVS", ShaderLightMapVS, ShaderLightMapVSSize, 152, VertexShader20},
      {"LightMapPS", ShaderLightMapPS, ShaderLightMapPSSize, 144, PixelShader20},
      {"PlainTexturePS", ShaderPlainTexturePS, ShaderPlainTexturePSSize, 96, PixelShader20},
      {"ScreenVS", ShaderScreenVS, ShaderScreenVSSize, 68, VertexShader20},
  }};
  return streams;
}

std::vector<std::uint32_t> Tokens(const Stream& s) {
  std::vector<std::uint32_t> tokens(s.size / 4);
  std::memcpy(tokens.data(), s.bytes, tokens.size() * 4);
  return tokens;
}

std::vector<std::uint32_t> Tokens(const std::string& name) {
  for (const Stream& s : Streams())
    if (name == s.name) return Tokens(s);
  return {};
}

std::string RegisterName(std::uint32_t t, bool pixel) {
  std::uint32_t n = RegisterNumber(t);
  switch (RegisterType(t)) {
    case 0: return "r" + std::to_string(n);
    case 1: return "v" + std::to_string(n);
    case 2: return "c" + std::to_string(n);
    case 3: return (pixel ? "t" : "a") + std::to_string(n);
    case 4: return n == 0 ? "oPos" : "oRast" + std::to_string(n);
    case 5: return "oD" + std::to_string(n);
    case 6: return "oT" + std::to_string(n);
    case 8: return "oC" + std::to_string(n);
    case 10: return "s" + std::to_string(n);
    default: return "?" + std::to_string(RegisterType(t));
  }
}

std::string Destination(std::uint32_t t, bool pixel) {
  std::string s = RegisterName(t, pixel);
  std::uint32_t mask = (t >> 16) & 0xF;
  if (mask != 0xF) {
    s += '.';
    for (int c = 0; c < 4; ++c)
      if (mask & (1u << c)) s += "xyzw"[c];
  }
  if ((t >> 20) & 0xF) s += "_mod" + std::to_string((t >> 20) & 0xF);
  if ((t >> 24) & 0xF) s += "_shift" + std::to_string((t >> 24) & 0xF);
  return s;
}

std::string Source(std::uint32_t t, bool pixel) {
  std::uint32_t modifier = (t >> 24) & 0xF;
  std::string s = modifier == 1 ? "-" : modifier == 0 ? "" : "?mod" + std::to_string(modifier);
  s += RegisterName(t, pixel);
  if (t & 0x2000) s += "[relative]";
  std::uint32_t swizzle = (t >> 16) & 0xFF;
  int c[4] = {int(swizzle & 3), int((swizzle >> 2) & 3), int((swizzle >> 4) & 3), int((swizzle >> 6) & 3)};
  if (swizzle == 0xE4) return s;
  s += '.';
  if (c[0] == c[1] && c[1] == c[2] && c[2] == c[3]) return s + "xyzw"[c[0]];
  for (int k : c) s += "xyzw"[k];
  return s;
}

std::string Number(std::uint32_t bits) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(std::bit_cast<float>(bits)));
  std::string s = text;
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string UsageName(std::uint32_t usage) {
  std::uint32_t index = (usage >> 16) & 0xF;
  std::string name;
  switch (usage & 0x1F) {
    case 0: name = "position"; break;
    case 3: name = "normal"; break;
    case 5: name = "texcoord"; break;
    default: name = "usage" + std::to_string(usage & 0x1F);
  }
  return index ? name + std::to_string(index) : name;
}

// The assembly line an instruction stands for, in the notation of the listings.
std::string Disassemble(const Instruction& in, bool pixel) {
  static const std::map<std::uint32_t, std::string> names = {
      {0x01, "mov"},  {0x02, "add"},  {0x04, "mad"},  {0x05, "mul"},  {0x08, "dp3"},
      {0x14, "m4x4"}, {0x15, "m4x3"}, {0x17, "m3x3"}, {0x24, "nrm"},  {0x42, "texld"}};
  if (in.opcode == 0x1F && in.params.size() == 2) {
    std::uint32_t usage = in.params[0], dest = in.params[1];
    if (RegisterType(dest) == 10)
      return std::string(((usage >> 27) & 0xF) == 2 ? "dcl_2d " : "dcl_?? ") + Destination(dest, pixel);
    if (pixel) return std::string(usage == 0x80000000u ? "dcl " : "dcl_?? ") + Destination(dest, pixel);
    return "dcl_" + UsageName(usage) + " " + Destination(dest, pixel);
  }
  if (in.opcode == 0x51 && in.params.size() == 5) {
    std::string s = "def " + Destination(in.params[0], pixel);
    for (std::size_t k = 1; k < 5; ++k) s += ", " + Number(in.params[k]);
    return s;
  }
  auto name = names.find(in.opcode);
  std::string s = name != names.end() ? name->second : "op" + std::to_string(in.opcode);
  for (std::size_t k = 0; k < in.params.size(); ++k)
    s += (k == 0 ? " " : ", ") + (k == 0 ? Destination(in.params[k], pixel) : Source(in.params[k], pixel));
  return s;
}

std::vector<std::string> Listing(const std::vector<std::uint32_t>& tokens) {
  std::vector<std::string> lines;
  bool pixel = (tokens.at(0) >> 16) == 0xFFFF;
  for (const Instruction& in : Split(tokens)) lines.push_back(Disassemble(in, pixel));
  return lines;
}

// ---- Declaration ----

TEST(ShaderDeclaration, PacksTheMeshVertexIntoFortyBytes) {
  const std::array<std::uint8_t, 40> expected{
      0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // position, float3 at 0
      0x00, 0x00, 0x0C, 0x00, 0x02, 0x00, 0x03, 0x00,  // normal, float3 at 12
      0x00, 0x00, 0x18, 0x00, 0x01, 0x00, 0x05, 0x00,  // texture set 0, float2 at 24
      0x00, 0x00, 0x20, 0x00, 0x01, 0x00, 0x05, 0x01,  // texture set 1, float2 at 32
      0xFF, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00,  // end marker
  };
  EXPECT_EQ(PackMeshDeclaration(), expected);
}

TEST(ShaderDeclaration, PackVertexElementWritesOneLittleEndianElement) {
  std::array<std::uint8_t, 40> bytes{};
  PackVertexElement(bytes, 2, 0x1234, 0xABCD, 0x11, 0x22, 0x33, 0x44);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i >= 16 && i < 24) continue;
    EXPECT_EQ(bytes[i], 0) << "byte " << i << " outside element 2";
  }
  const std::array<std::uint8_t, 8> element{0x34, 0x12, 0xCD, 0xAB, 0x11, 0x22, 0x33, 0x44};
  EXPECT_TRUE(std::equal(element.begin(), element.end(), bytes.begin() + 16));
}

// ---- Streams ----

TEST(ShaderStreams, HaveTheirSizesVersionAndEndTokenAndNoComments) {
  for (const Stream& s : Streams()) {
    SCOPED_TRACE(s.name);
    ASSERT_EQ(s.size, s.expectedSize);
    std::vector<std::uint32_t> tokens = Tokens(s);
    EXPECT_EQ(tokens.front(), s.version);
    EXPECT_EQ(tokens.back(), EndToken);
    // Walking the instructions lands exactly on the last token, and none of them is a comment block.
    std::size_t i = 1;
    while (i < tokens.size() && tokens[i] != EndToken) {
      EXPECT_NE(tokens[i] & 0xFFFF, 0xFFFEu) << "comment block at token " << i;
      i += 1 + ((tokens[i] >> 24) & 0x0F);
    }
    EXPECT_EQ(i, tokens.size() - 1);
  }
}

// Hand-encoded tokens, so the decoder below is checked against the token format and not only against itself.
TEST(ShaderStreams, ReflectVSCarriesItsConstantsAndRegistersBitForBit) {
  std::vector<std::uint32_t> t = Tokens("ReflectVS");
  ASSERT_GE(t.size(), 13u);
  // def c10, 0.25, 0.5, -2.0, 1.0 right after the version token.
  EXPECT_EQ(t[1], 0x05000051u);
  EXPECT_EQ(t[2], 0xA00F000Au);
  EXPECT_EQ(std::bit_cast<float>(t[3]), 0.25f);
  EXPECT_EQ(std::bit_cast<float>(t[4]), 0.5f);
  EXPECT_EQ(std::bit_cast<float>(t[5]), -2.0f);
  EXPECT_EQ(std::bit_cast<float>(t[6]), 1.0f);
  // def c11, 5.0, 1.2, 0.1, 0.0
  EXPECT_EQ(t[7], 0x05000051u);
  EXPECT_EQ(t[8], 0xA00F000Bu);
  EXPECT_EQ(std::bit_cast<float>(t[9]), 5.0f);
  EXPECT_EQ(std::bit_cast<float>(t[10]), 1.2f);
  EXPECT_EQ(std::bit_cast<float>(t[11]), 0.1f);
  EXPECT_EQ(std::bit_cast<float>(t[12]), 0.0f);

  // mad oD0.w, r0.y, c11.x, c11.y: the colour output, write mask w, replicated swizzles.
  const std::vector<std::uint32_t> mad{0x04000004u, 0xD0080000u, 0x80550000u, 0xA000000Bu, 0xA055000Bu};
  bool found = false;
  for (std::size_t i = 0; i + mad.size() <= t.size(); ++i)
    found = found || std::equal(mad.begin(), mad.end(), t.begin() + static_cast<std::ptrdiff_t>(i));
  EXPECT_TRUE(found) << "mad oD0.w, r0.y, c11.x, c11.y";
}

TEST(ShaderStreams, DecodeToTheirListings) {
  const std::map<std::string, std::vector<std::string>> listings = {
      {"ReflectVS",
       {"def c10, 0.25, 0.5, -2.0, 1.0", "def c11, 5.0, 1.2, 0.1, 0.0", "dcl_position v0", "dcl_normal v1",
        "dcl_texcoord v2", "dcl_texcoord1 v3", "m4x4 oPos, v0, c0", "mov oT0.xy, v2", "m4x3 r3.xyz, v0, c4",
        "m3x3 r4.xyz, v1, c4", "add oD0, r4.y, c11.z", "add r0, c8, -r3", "nrm r1, r0.xyzz", "add r0, r4, -r1",
        "dp3 r0.w, r4, r0", "mad r0.w, r0.w, c10.z, c10.w", "mul r2, r4, r0.w", "add r0, r0, r2",
        "mad oD0.w, r0.y, c11.x, c11.y", "add r0.y, c10.w, -r0.y", "mul r0.xz, r0.xzzz, r0.y",
        "mad r0, r0.xzzz, c10.y, c10.y", "mov oT1, r0"}},
      {"ReflectPS",
       {"dcl t0", "dcl t1", "dcl_2d s0", "dcl_2d s1", "dcl_2d s2", "dcl v0", "def c1, 0.05, 0.08, 0.05, -0.5",
        "def c2, -0.5, 0.3, 0.0, 0.0", "texld r0, t0, s0", "add r1, v0, c1", "mul r0, r0, r1", "mul r0, r0, c0",
        "texld r1, t0, s1", "add r1, r1, c2.x", "mul r1, r1, c2.y", "add r1, r1, t1", "texld r2, r1, s2",
        "mul r2, r2, c0.w", "mul r2, r2, v0.w", "add r0, r0, r2", "mov oC0, r0"}},
      {"LightMapVS",
       {"def c10, 0.25, 0.5, -2.0, 1.0", "dcl_position v0", "dcl_normal v1", "dcl_texcoord v2", "dcl_texcoord1 v3",
        "m4x4 oPos, v0, c0", "mov oT0.xy, v2", "mov oT1.xy, v3", "m3x3 r0.xyz, v1, c4", "add oD0, r0.y, c10.x"}},
      {"LightMapPS",
       {"dcl t0", "dcl t1", "dcl_2d s0", "dcl_2d s1", "dcl v0", "texld r0, t0, s0", "texld r1, t1, s1",
        "mul r0, r0, r1", "mul r0, r0, v0", "mov oC0, r0"}},
      {"PlainTexturePS",
       {"dcl t0", "dcl t1", "dcl_2d s0", "dcl_2d s1", "dcl v0", "texld r0, t1, s0", "mov oC0, r0"}},
      {"ScreenVS", {"dcl_position v0", "dcl_texcoord v1", "dcl_texcoord1 v2", "mov oPos, v0", "mov oT1, v2"}},
  };
  for (const Stream& s : Streams()) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(Listing(Tokens(s)), listings.at(s.name));
  }
}

// ---- The vertex shaders, run ----

constexpr std::array<Float4, 4> Identity{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

float Clamp01(float x) { return std::fmin(1.0f, std::fmax(0.0f, x)); }

// ReflectVS on one vertex at `p` (object space) with normal `n`, the object moved by `offset`, seen from `eye`.
ShaderMachine RunReflect(Float4 p, Float4 n, Float4 offset, Float4 eye) {
  ShaderMachine vs(Tokens("ReflectVS"));
  std::array<Float4, 4> world = Identity;
  world[3] = {offset[0], offset[1], offset[2], 1};
  vs.Transposed(0, world);
  vs.Transposed(4, world);
  vs.Constant(8, eye);
  vs.Input(0, p);
  vs.Input(1, n);
  vs.Input(2, {0.25f, 0.75f, 0, 0});
  vs.Input(3, {0, 0, 0, 0});
  vs.Run();
  return vs;
}

TEST(ShaderPrograms, ReflectVSLooksAtTheLampCentreStraightUp) {
  // Normal up, eye straight above the world position (0.3, 0, -0.2) + (0.5, 0, 0).
  ShaderMachine vs = RunReflect({0.3f, 0, -0.2f, 1}, {0, 1, 0, 0}, {0.5f, 0, 0, 0}, {0.8f, 3, -0.2f, 0});
  Float4 pos = vs.Output(OutPosition, 0), diffuse = vs.Output(OutColour, 0);
  Float4 t0 = vs.Output(OutTexture, 0), t1 = vs.Output(OutTexture, 1);
  EXPECT_FLOAT_EQ(pos[0], 0.8f);
  EXPECT_FLOAT_EQ(pos[2], -0.2f);
  EXPECT_FLOAT_EQ(pos[3], 1.0f);
  EXPECT_FLOAT_EQ(t0[0], 0.25f);
  EXPECT_FLOAT_EQ(t0[1], 0.75f);
  EXPECT_NEAR(t1[0], 0.5f, 1e-6f);
  EXPECT_NEAR(t1[1], 0.5f, 1e-6f);
  for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(diffuse[c], 1.1f) << c;
  EXPECT_NEAR(diffuse[3], 6.2f, 1e-5f);
  EXPECT_EQ(Clamp01(diffuse[3]), 1.0f);
}

TEST(ShaderPrograms, ReflectVSFadesTheReflectionOnlyBelowTheHorizon) {
  // Eye level with the point: R = (-1, 0, 0), factor 1.2, still full after the clamp.
  ShaderMachine level = RunReflect({0, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 0, 0}, {2, 0, 0, 0});
  EXPECT_NEAR(level.Output(OutColour, 0)[3], 1.2f, 1e-6f);
  EXPECT_NEAR(level.Output(OutTexture, 1)[0], 0.0f, 1e-6f);
  EXPECT_NEAR(level.Output(OutTexture, 1)[1], 0.5f, 1e-6f);
  // A reflected ray 0.24 below the horizon: the factor reaches 0.
  float h = std::sqrt(1.0f - 0.24f * 0.24f);
  ShaderMachine below = RunReflect({0, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 0, 0}, {2 * h, -0.48f, 0, 0});
  EXPECT_NEAR(below.Output(OutColour, 0)[3], 0.0f, 1e-5f);
}

TEST(ShaderPrograms, ReflectVSMirrorsTheViewRayAboutATiltedNormal) {
  // N at 45 degrees between x and y, eye straight above: R = 2(N.V)N - V = (1, 0, 0).
  float s = std::sqrt(0.5f);
  ShaderMachine vs = RunReflect({0, 0, 0, 1}, {s, s, 0, 0}, {0, 0, 0, 0}, {0, 4, 0, 0});
  Float4 t1 = vs.Output(OutTexture, 1), diffuse = vs.Output(OutColour, 0);
  EXPECT_NEAR(t1[0], 1.0f, 1e-5f);  // 0.5 + 0.5 * R.x * (1 - R.y)
  EXPECT_NEAR(t1[1], 0.5f, 1e-5f);
  EXPECT_NEAR(diffuse[0], s + 0.1f, 1e-6f);
  EXPECT_NEAR(diffuse[3], 1.2f, 1e-5f);
}

TEST(ShaderPrograms, LightMapVSAndScreenVSPassTheirTextureSets) {
  ShaderMachine light(Tokens("LightMapVS"));
  std::array<Float4, 4> world = Identity;
  world[3] = {1, 2, 3, 1};
  light.Transposed(0, world);
  light.Transposed(4, world);
  light.Input(0, {0.5f, 0, 0, 1});
  light.Input(1, {0, -0.5f, 0, 0});
  light.Input(2, {0.1f, 0.2f, 0, 0});
  light.Input(3, {0.3f, 0.4f, 0, 0});
  light.Run();
  EXPECT_EQ(light.Output(OutPosition, 0), (Float4{1.5f, 2, 3, 1}));
  EXPECT_EQ(light.Output(OutColour, 0), (Float4{-0.25f, -0.25f, -0.25f, -0.25f}));  // normal's y + 0.25
  EXPECT_FLOAT_EQ(light.Output(OutTexture, 0)[0], 0.1f);
  EXPECT_FLOAT_EQ(light.Output(OutTexture, 0)[1], 0.2f);
  EXPECT_FLOAT_EQ(light.Output(OutTexture, 1)[0], 0.3f);
  EXPECT_FLOAT_EQ(light.Output(OutTexture, 1)[1], 0.4f);

  ShaderMachine screen(Tokens("ScreenVS"));
  screen.Input(0, {-0.4f, 0.9675f, 0, 1});
  screen.Input(1, {9, 9, 9, 9});
  screen.Input(2, {1, 0, 0, 0});
  screen.Run();
  EXPECT_EQ(screen.Output(OutPosition, 0), (Float4{-0.4f, 0.9675f, 0, 1}));
  EXPECT_EQ(screen.Output(OutTexture, 1), (Float4{1, 0, 0, 0}));
  EXPECT_EQ(screen.Output(OutTexture, 0), (Float4{0, 0, 0, 0}));  // texture set 0 is not passed on
}

// ---- On the device ----

class ShaderDeviceTest : public kuvo::testing::GfxFixture {
 protected:
  void TearDown() override {
    ReleaseShaders();
    GfxFixture::TearDown();
  }

  // The handles in resource order, as the objects the recording device made.
  static std::vector<const RecordingObject*> Handles() {
    return {dynamic_cast<RecordingVertexShader*>(ReflectVS),  dynamic_cast<RecordingPixelShader*>(ReflectPS),
            dynamic_cast<RecordingVertexShader*>(LightMapVS), dynamic_cast<RecordingPixelShader*>(LightMapPS),
            dynamic_cast<RecordingPixelShader*>(PlainTexturePS), dynamic_cast<RecordingVertexShader*>(ScreenVS)};
  }
  static bool AllNull() {
    return !MeshDeclaration && !ReflectVS && !ReflectPS && !LightMapVS && !LightMapPS && !PlainTexturePS &&
           !ScreenVS;
  }
};

TEST_F(ShaderDeviceTest, CreatesTheDeclarationThenTheShadersInResourceOrderWithTheirBytes) {
  CreateShaders();
  using V = std::vector<std::string_view>;
  EXPECT_EQ(gfx.Names(), (V{"Device::CreateVertexDeclaration", "Device::CreateVertexShader",
                            "Device::CreatePixelShader", "Device::CreateVertexShader", "Device::CreatePixelShader",
                            "Device::CreatePixelShader", "Device::CreateVertexShader"}));

  auto* declaration = dynamic_cast<RecordingVertexDeclaration*>(MeshDeclaration);
  ASSERT_NE(declaration, nullptr);
  EXPECT_EQ(declaration->Id(), gfx.Calls()[0].created);
  const auto& e = declaration->Elements();
  ASSERT_EQ(e.size(), 5u);
  const std::array<std::array<int, 6>, 5> expected{{{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                    {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                                    {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                                    {0, 32, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 1},
                                                    {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}}};
  for (std::size_t i = 0; i < 5; ++i)
    EXPECT_EQ((std::array<int, 6>{e[i].Stream, e[i].Offset, e[i].Type, e[i].Method, e[i].Usage, e[i].UsageIndex}),
              expected[i])
        << "element " << i;

  std::vector<const RecordingObject*> handles = Handles();
  for (std::size_t k = 0; k < 6; ++k) {
    const Stream& s = Streams()[k];
    SCOPED_TRACE(s.name);
    ASSERT_NE(handles[k], nullptr);
    EXPECT_EQ(handles[k]->Id(), gfx.Calls()[k + 1].created);
    const auto* vs = dynamic_cast<const RecordingVertexShader*>(handles[k]);
    const auto* ps = dynamic_cast<const RecordingPixelShader*>(handles[k]);
    EXPECT_EQ(vs ? vs->Tokens() : ps->Tokens(), Tokens(s));
  }
}

TEST_F(ShaderDeviceTest, ReleasesTheDeclarationFirstThenTheShadersInResourceOrder) {
  CreateShaders();
  std::vector<double> ids{double(dynamic_cast<RecordingVertexDeclaration*>(MeshDeclaration)->Id())};
  for (const RecordingObject* h : Handles()) ids.push_back(h->Id());
  gfx.ClearLog();

  ReleaseShaders();
  using V = std::vector<std::string_view>;
  EXPECT_EQ(gfx.Names(), (V{"VertexDeclaration::Release", "VertexShader::Release", "PixelShader::Release",
                            "VertexShader::Release", "PixelShader::Release", "PixelShader::Release",
                            "VertexShader::Release"}));
  std::vector<double> released;
  for (const RecordedCall& c : gfx.Calls()) released.push_back(c.args.at(0));
  EXPECT_EQ(released, ids);
  EXPECT_TRUE(AllNull());

  gfx.ClearLog();
  ReleaseShaders();  // nothing left to release
  EXPECT_TRUE(gfx.Calls().empty());
}

// Each of the seven creation calls failing in turn: the error names it, the handles made before it stay
// set, and ReleaseShaders gives exactly those back.
struct FailingCall {
  const char* name;
  long occurrence;
  std::size_t createdBefore;
};

void PrintTo(const FailingCall& f, std::ostream* out) { *out << f.name << " #" << f.occurrence; }

class ShaderFailureTest : public ShaderDeviceTest, public ::testing::WithParamInterface<FailingCall> {};

TEST_P(ShaderFailureTest, RaisesTheFailingCallAndReleasesWhatWasMade) {
  const FailingCall& f = GetParam();
  gfx.FailCall(f.name, f.occurrence);
  try {
    CreateShaders();
    FAIL() << "no DeviceError";
  } catch (const DeviceError& error) {
    EXPECT_EQ(error.Call(), f.name);
    EXPECT_EQ(error.Code(), E_FAIL);
  }
  EXPECT_EQ(gfx.Calls().size(), f.createdBefore + 1);  // nothing after the failing call
  std::vector<bool> made{MeshDeclaration != nullptr, ReflectVS != nullptr,      ReflectPS != nullptr,
                         LightMapVS != nullptr,      LightMapPS != nullptr,     PlainTexturePS != nullptr,
                         ScreenVS != nullptr};
  for (std::size_t k = 0; k < made.size(); ++k) EXPECT_EQ(made[k], k < f.createdBefore) << "handle " << k;

  gfx.ClearLog();
  ReleaseShaders();
  EXPECT_EQ(gfx.Calls().size(), f.createdBefore);
  EXPECT_TRUE(AllNull());
}

INSTANTIATE_TEST_SUITE_P(EachCreation, ShaderFailureTest,
                         ::testing::Values(FailingCall{"Device::CreateVertexDeclaration", 1, 0},
                                           FailingCall{"Device::CreateVertexShader", 1, 1},
                                           FailingCall{"Device::CreatePixelShader", 1, 2},
                                           FailingCall{"Device::CreateVertexShader", 2, 3},
                                           FailingCall{"Device::CreatePixelShader", 2, 4},
                                           FailingCall{"Device::CreatePixelShader", 3, 5},
                                           FailingCall{"Device::CreateVertexShader", 3, 6}));

}  // namespace
