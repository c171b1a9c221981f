// One frame on the recording device: the render-state sequence and the order of the five passes, what
// each draw had bound, the constants it uploaded, and how failing calls are skipped or end only their pass.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/modMain.h"
#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"
#include "platform/testing/Headless.h"
#include "textures/modShader.h"
#include "textures/modTex.h"

using namespace kuvo;

namespace {

// What was bound when a draw was made, replayed from the log.
struct Draw {
  std::uint32_t vs = 0, ps = 0, declaration = 0;
  std::array<std::uint32_t, 3> textures{};
  std::array<float, 4> tint{};
  std::array<float, 36> vertexConstants{};
  long constantUploads = 0;  // uploads of vertex constants since the previous draw
};

class FrameTest : public ::testing::Test {
 protected:
  HeadlessPlatform host;

  void SetUp() override {
    IsComputer[1] = false;
    IsComputer[2] = false;
    CreateDevice3D();
    BuildTextures();
    BuildModels();
    CreateShaders();
    InitControl();
    StartClock(0.0);
    RackBalls();
    UpdateControl();  // the camera's angles are set by the first control step
    UpdateCamera();
    GameOver = false;
    host.gfx.SetKeepLog(true);
    host.gfx.ClearLog();
  }
  void TearDown() override {
    ReleaseShaders();
    ReleaseModels();
    ReleaseTextures();
    ReleaseDevice3D();
  }

  std::vector<Draw> Draws() const {
    std::vector<Draw> draws;
    Draw state;
    for (const RecordedCall& call : host.gfx.Calls()) {
      if (call.result != S_OK) continue;
      if (call.name == "Device::SetVertexShader") state.vs = static_cast<std::uint32_t>(call.args[0]);
      if (call.name == "Device::SetPixelShader") state.ps = static_cast<std::uint32_t>(call.args[0]);
      if (call.name == "Device::SetVertexDeclaration") state.declaration = static_cast<std::uint32_t>(call.args[0]);
      if (call.name == "Device::SetTexture" && call.args[0] < 3)
        state.textures[static_cast<std::size_t>(call.args[0])] = static_cast<std::uint32_t>(call.args[1]);
      if (call.name == "Device::SetPixelShaderConstantF" && call.args[0] == 0)
        for (int i = 0; i < 4; ++i) state.tint[i] = static_cast<float>(call.args[2 + i]);
      if (call.name == "Device::SetVertexShaderConstantF") {
        ++state.constantUploads;
        for (std::size_t i = 0; i + 2 < call.args.size() && i < 36; ++i)
          state.vertexConstants[i] = static_cast<float>(call.args[2 + i]);
      }
      if (call.name == "Device::DrawIndexedPrimitive") {
        draws.push_back(state);
        state.constantUploads = 0;
      }
    }
    return draws;
  }

  // The render states set by the frame itself, in order, as (state, value).
  std::vector<std::pair<int, int>> RenderStates() const {
    std::vector<std::pair<int, int>> states;
    for (const RecordedCall* call : host.gfx.CallsNamed("Device::SetRenderState"))
      states.emplace_back(static_cast<int>(call->args[0]), static_cast<int>(call->args[1]));
    return states;
  }

  static std::uint32_t TextureId(GfxTexture* t) { return RecordingId(t); }
  static std::uint32_t VsId(GfxVertexShader* s) { return RecordingId(s); }
  static std::uint32_t PsId(GfxPixelShader* s) { return RecordingId(s); }

  // Which pass a draw belongs to, told by its shaders and stage-0 texture.
  static std::string PassOf(const Draw& d) {
    if (d.vs == VsId(ScreenVS)) return "hud";
    if (d.vs == VsId(LightMapVS) && d.ps == PsId(PlainTexturePS)) return "shadow";
    if (d.vs == VsId(LightMapVS)) return "lightmap";
    if (d.vs == VsId(ReflectVS)) return "reflect";
    return "?";
  }
};

TEST_F(FrameTest, RenderStatesAndPassesComeInTheFramesOrder) {
  RenderFrame();
  auto names = host.gfx.Names();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "Device::BeginScene");
  EXPECT_EQ(names[1], "Device::Clear");
  EXPECT_EQ(names[names.size() - 2], "Device::EndScene");
  EXPECT_EQ(names.back(), "Device::Present");
  const RecordedCall* clear = host.gfx.CallsNamed("Device::Clear").at(0);
  EXPECT_EQ(clear->args, (std::vector<double>{0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0, 0}));
  const RecordedCall* present = host.gfx.CallsNamed("Device::Present").at(0);
  EXPECT_EQ(present->args, (std::vector<double>{0, 0, 0, 0}));

  EXPECT_EQ(RenderStates(), (std::vector<std::pair<int, int>>{{27, 0}, {7, 1}, {14, 1},           // opaque
                                                              {14, 0}, {27, 1}, {19, 1}, {20, 4},  // darken
                                                              {19, 2}, {20, 2}, {7, 0}}));         // add

  // 6 rims, 3 shiny table meshes, 3 light-mapped ones, 16 balls, the cue, 16 shadows, the text line.
  std::vector<Draw> draws = Draws();
  ASSERT_EQ(draws.size(), 46u);
  std::vector<std::string> passes;
  for (const Draw& d : draws) passes.push_back(PassOf(d));
  std::vector<std::string> expected(9, "reflect");
  expected.insert(expected.end(), 3, "lightmap");
  expected.insert(expected.end(), 17, "reflect");  // balls, then the cue
  expected.insert(expected.end(), 16, "shadow");
  expected.push_back("hud");
  EXPECT_EQ(passes, expected);

  // The frame's states bracket the passes: every draw before the first blend change is opaque.
  std::size_t firstBlend = 0, firstShadowDraw = 0, firstAdd = 0, hudDraw = 0, draw = 0;
  for (std::size_t i = 0; i < host.gfx.Calls().size(); ++i) {
    const RecordedCall& c = host.gfx.Calls()[i];
    if (c.name == "Device::SetRenderState" && c.args[0] == 27 && c.args[1] == 1) firstBlend = i;
    if (c.name == "Device::SetRenderState" && c.args[0] == 7 && c.args[1] == 0) firstAdd = i;
    if (c.name == "Device::DrawIndexedPrimitive") {
      if (draw == 29) firstShadowDraw = i;
      if (draw == 45) hudDraw = i;
      ++draw;
    }
  }
  EXPECT_LT(firstBlend, firstShadowDraw);
  EXPECT_LT(firstAdd, hudDraw);
  EXPECT_GT(firstAdd, firstShadowDraw);

  // Textures per draw: lamp image on stage 2 for the whole frame once the table set it.
  for (std::size_t i = 0; i < 29; ++i) EXPECT_EQ(draws[i].textures[2], TextureId(LampReflectionTexture)) << i;
  EXPECT_EQ(draws[9].textures[0], TextureId(ClothTexture));
  EXPECT_EQ(draws[9].textures[1], TextureId(ClothLightTexture));
  EXPECT_EQ(draws[10].textures[0], TextureId(WoodTexture));
  EXPECT_EQ(draws[11].textures[0], TextureId(WhiteTexture));
  EXPECT_EQ(draws[11].textures[1], TextureId(PanelLightTexture));
  EXPECT_EQ(draws[30].textures[0], TextureId(ShadowTexture));
  EXPECT_EQ(draws[45].textures[0], TextureId(HudTexture));
  for (const Draw& d : draws) EXPECT_EQ(d.declaration, RecordingId(MeshDeclaration));

  // Tints: rims, the three shiny table meshes, then plain light maps; the cue its own colour.
  EXPECT_EQ(draws[0].tint, (std::array<float, 4>{1, 1, 1, 0.3f}));
  EXPECT_EQ(draws[6].tint, (std::array<float, 4>{0.8f, 0.8f, 0.7f, 1}));
  EXPECT_EQ(draws[7].tint, (std::array<float, 4>{0.3f, 0.2f, 0.25f, 0.8f}));
  EXPECT_EQ(draws[8].tint, (std::array<float, 4>{0.07f, 0.07f, 0.08f, 0.1f}));
  EXPECT_EQ(draws[9].tint, (std::array<float, 4>{1, 1, 1, 0}));
  EXPECT_EQ(draws[28].tint, (std::array<float, 4>{0.3f, 0.2f, 0.2f, 1}));
  // The text line uploads no constants of its own.
  EXPECT_EQ(draws[45].constantUploads, 0);
}

TEST_F(FrameTest, UploadWorldSendsTransposedMatricesAndTheEye) {
  CameraEye = {0.25f, 1.5f, -2.0f};
  Matrix4 world;
  MatrixTranslation(world, 0.1f, 0.0f, 0.2f);
  UploadWorld(world);
  const RecordedCall* call = host.gfx.CallsNamed("Device::SetVertexShaderConstantF").back();
  ASSERT_EQ(call->args.size(), 2u + 36u);
  EXPECT_EQ(call->args[0], 0);
  EXPECT_EQ(call->args[1], 9);
  Matrix4 wv, wvp;
  MatrixMultiply(wv, world, ViewMatrix);
  MatrixMultiply(wvp, wv, ProjectionMatrix);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(call->args[2 + 4 * r + c], wvp.m[c][r]) << "c" << r << " is column " << r;
      EXPECT_EQ(call->args[2 + 16 + 4 * r + c], world.m[c][r]);
    }
  // The translation lands in the w component of registers c4..c6.
  EXPECT_FLOAT_EQ(static_cast<float>(call->args[2 + 16 + 3]), 0.1f);
  EXPECT_FLOAT_EQ(static_cast<float>(call->args[2 + 16 + 11]), 0.2f);
  EXPECT_EQ((std::vector<double>(call->args.begin() + 34, call->args.end())), (std::vector<double>{0.25, 1.5, -2, 0}));
}

// The plain products, each element's sum in the order ((a0 b0 + a1 b1) + a2 b2) + a3 b3.
Matrix4 PlainProduct(const Matrix4& a, const Matrix4& b) {
  Matrix4 p;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      p.m[r][c] = ((a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c]) + a.m[r][2] * b.m[2][c]) + a.m[r][3] * b.m[3][c];
  return p;
}

std::vector<std::uint32_t> Bits(const float* f, int n) {
  std::vector<std::uint32_t> out;
  for (int i = 0; i < n; ++i) out.push_back(std::bit_cast<std::uint32_t>(f[i]));
  return out;
}

// Products kept from one upload to the next must give the plain products' bits every time: world
// matrices that differ from the last one only in row 4, only in row 3, only by the sign of a zero, and a
// camera that changes between them (by one zero's sign too, and into subnormals).
TEST_F(FrameTest, UploadWorldGivesThePlainProductsBitForBitWhateverCameBefore) {
  std::mt19937 rng(515);
  std::uniform_real_distribution<float> value(-2.0f, 2.0f);
  // A camera turned off every axis, so that no sum has a zero term to hide its order.
  MatrixLookAt(ViewMatrix, Vector3{1.1f, 0.9f, 1.7f}, Vector3{0.2f, -0.3f, 0.1f}, Vector3{0.0f, 1.0f, 0.0f});
  MatrixPerspectiveFov(ProjectionMatrix, 0.9f, 1.6f, 0.01f, 16.0f);
  Matrix4 world;
  MatrixScaling(world, 1.6f, 0.05f, 1.6f);
  world.m[0][1] = -0.0f;  // a zero whose sign the products carry
  for (int upload = 0; upload < 400 && !HasFailure(); ++upload) {
    const int change = upload % 8;
    if (change < 4) {
      world.m[3][0] = value(rng);  // the common case: a new translation
      world.m[3][1] = change == 2 ? 0.0f : value(rng);  // off the cloth too, so that every term of a sum counts
      world.m[3][2] = change == 3 ? -0.0f : value(rng);
    } else if (change == 4) {
      world.m[1 + upload % 2][upload % 3] = value(rng);
    } else if (change == 5) {
      world.m[0][1] = -world.m[0][1];
    } else if (change == 6) {
      float& v = ViewMatrix.m[3][upload % 3];
      v = upload % 3 == 0 ? -v : (upload % 3 == 1 ? 0x1p-140f * value(rng) : value(rng));
    } else {
      ProjectionMatrix.m[2][upload % 4] = value(rng);
    }
    UploadWorld(world);
    Matrix4 want;
    MatrixTranspose(want, PlainProduct(PlainProduct(world, ViewMatrix), ProjectionMatrix));
    EXPECT_EQ(Bits(VertexConstants, 16), Bits(&want.m[0][0], 16)) << "upload " << upload;
    MatrixTranspose(want, world);
    EXPECT_EQ(Bits(VertexConstants + 16, 16), Bits(&want.m[0][0], 16)) << "upload " << upload;
  }
}

TEST_F(FrameTest, BallsTintTheSelectedOneEvenRollingAndShadowOnlyThoseOnTheTable) {
  SelectedBall = 3;
  Balls[3].Velocity = {0.001f, 0.0f, 0.0005f};
  Balls[5].Status = BallDropping;
  Balls[5].Position.y = -0.01f;
  Balls[7].Status = BallOffTable;
  RenderFrame();
  std::vector<Draw> draws = Draws();
  // 12 table draws, 15 balls (7 is off), the cue, 14 shadows (5 drops, 7 is off), the text line.
  ASSERT_EQ(draws.size(), 12u + 15u + 1u + 14u + 1u);
  std::vector<Draw> balls(draws.begin() + 12, draws.begin() + 27);
  int tinted = 0;
  for (const Draw& d : balls) {
    // c12..c14 (transposed world translation) say which ball was drawn.
    float x = d.vertexConstants[16 + 3], z = d.vertexConstants[16 + 11];
    bool selected = x == Balls[3].Position.x && z == Balls[3].Position.z;
    if (selected) {
      ++tinted;
      EXPECT_EQ(d.tint, (std::array<float, 4>{0.6f, 0.3f, 0.3f, 0.3f}));
    } else {
      EXPECT_EQ(d.tint, (std::array<float, 4>{1, 1, 1, 0.3f}));
    }
    EXPECT_FALSE(x == Balls[7].Position.x && z == Balls[7].Position.z) << "a ball off the table is not drawn";
  }
  EXPECT_EQ(tinted, 1);
  bool droppingDrawn = false;
  for (const Draw& d : balls) droppingDrawn |= d.vertexConstants[16 + 7] == Balls[5].Position.y;
  EXPECT_TRUE(droppingDrawn) << "a dropping ball is drawn at its sunk height";

  std::vector<Draw> shadows(draws.begin() + 28, draws.begin() + 42);
  for (const Draw& d : shadows) {
    // A lens 1.6 wide and 0.05 high on the cloth: scale in the diagonal, y translation −0.0325.
    EXPECT_FLOAT_EQ(d.vertexConstants[16 + 0], 1.6f);
    EXPECT_FLOAT_EQ(d.vertexConstants[16 + 5], 0.05f);
    EXPECT_FLOAT_EQ(d.vertexConstants[16 + 7], -0.0325f);
    float x = d.vertexConstants[16 + 3];
    EXPECT_NE(x, Balls[5].Position.x) << "no shadow under a dropping ball";
  }
}

TEST_F(FrameTest, AfterTheGameNoCueAndWithEveryBallOffThePassesStillBind) {
  GameOver = true;
  for (BallState& b : Balls) b.Status = BallOffTable;
  RenderFrame();
  std::vector<Draw> draws = Draws();
  ASSERT_EQ(draws.size(), 13u);  // the table's 12 and the text line
  EXPECT_EQ(PassOf(draws.back()), "hud");
  // DrawBalls and DrawBallShadows still bound their shaders and textures.
  long shadowTextureBinds = 0, surfaceBinds = 0;
  for (const RecordedCall* c : host.gfx.CallsNamed("Device::SetTexture")) {
    if (c->args[1] == TextureId(ShadowTexture)) ++shadowTextureBinds;
    if (c->args[1] == TextureId(SurfaceTexture)) ++surfaceBinds;
  }
  EXPECT_EQ(shadowTextureBinds, 1);
  EXPECT_EQ(surfaceBinds, 2) << "the table and the balls; no cue";
  EXPECT_EQ(host.gfx.CallsNamed("Device::SetPixelShader").size(), 5u) << "table twice, balls, shadows, text line";
}

TEST_F(FrameTest, FailingCallsAreSkippedAndAFailingPassEndsOnlyItself) {
  // A failing call of the frame's own: only that call is lost.
  host.gfx.FailCall("Device::Clear");
  host.gfx.FailCall("Device::SetRenderState", 4);  // the darkening pass's depth-write switch
  RenderFrame();
  EXPECT_EQ(Draws().size(), 46u);
  EXPECT_EQ(host.gfx.CallsNamed("Device::SetRenderState").size(), 10u);
  EXPECT_EQ(host.gfx.CallsNamed("Device::Present").size(), 1u);

  // A draw failing inside the table pass: the rest of the table is abandoned, the other passes run.
  host.gfx.ClearLog();
  host.gfx.FailCall("Device::DrawIndexedPrimitive", 8);
  RenderFrame();
  std::vector<Draw> draws = Draws();  // the failed draw is not counted
  ASSERT_EQ(draws.size(), 7u + 17u + 16u + 1u);
  EXPECT_EQ(PassOf(draws[7]), "reflect");
  EXPECT_EQ(draws[7].tint, (std::array<float, 4>{1, 1, 1, 0.3f})) << "the first ball follows the seventh table draw";
  EXPECT_EQ(host.gfx.CallsNamed("Device::SetRenderState").size(), 10u);

  // Binding failing inside the shadow pass ends the shadows alone; the text line is still drawn.
  host.gfx.ClearLog();
  host.gfx.FailCall("Device::SetPixelShader", 5);  // table twice, balls, cue, then the shadows'
  RenderFrame();
  draws = Draws();
  ASSERT_EQ(draws.size(), 12u + 17u + 1u);
  EXPECT_EQ(PassOf(draws.back()), "hud");
  EXPECT_EQ(host.gfx.Names().back(), "Device::Present");
}

TEST_F(FrameTest, TextLineStaysPutWhateverTheCamera) {
  RenderFrame();
  std::vector<Draw> first = Draws();
  auto hudCalls = [&] {
    std::vector<std::string> calls;
    bool inHud = false;
    for (const RecordedCall& c : host.gfx.Calls()) {
      if (c.name == "Device::SetRenderState" && c.args[0] == 7 && c.args[1] == 0) inHud = true;
      if (c.name == "Device::EndScene") inHud = false;
      if (inHud) calls.push_back(std::string(c.name) + std::to_string(c.args.empty() ? 0 : c.args.back()));
    }
    return calls;
  };
  auto before = hudCalls();
  host.gfx.ClearLog();
  FieldOfView = 0.3f;
  CameraYaw = 2.0f;
  LookPoint = {0.5f, 0.0f, 0.2f};
  UpdateCamera();
  RenderFrame();
  EXPECT_EQ(hudCalls(), before);
  EXPECT_EQ(Draws().back().constantUploads, 0);
  EXPECT_EQ(first.back().vs, RecordingId(ScreenVS)) << "positions pass straight through as clip space";
}

}  // namespace
