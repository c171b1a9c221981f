// The text line on the recording device and the FreeType canvas: the scoreboard's entries, colours and
// halves, the alternating game-over texts and their centring, and the copy into the texture's top level.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/modMain.h"
#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "platform/Errors.h"
#include "platform/Gfx.h"
#include "platform/testing/Headless.h"
#include "textures/modTex.h"

using namespace kuvo;

namespace {

constexpr std::uint32_t LightRed = 0x00FF4040;       // 0x4040FF as a texture pixel, 0xAARRGGBB
constexpr std::uint32_t DarkBlueGreen = 0x00204040;  // 0x404020
constexpr std::uint32_t Red = 0x00FF0000;            // 0x0000FF
constexpr std::uint32_t White = 0x00FFFFFF;

const std::string Zhuk = "\xD0\x96\xD1\x83\xD0\xBA";  // Жук: three letters, six bytes

struct Entry {
  int x;
  std::string text;
  std::uint32_t colour;  // 0x00BBGGRR
};

// What the line must hold: the entries drawn on a fresh 512 x 32 canvas at y = -5.
std::vector<std::uint8_t> Expected(const std::vector<Entry>& entries) {
  FreeTypeCanvas canvas(512, 32);
  for (const Entry& e : entries) canvas.DrawText(e.x, -5, e.text, e.colour);
  std::vector<std::uint8_t> bytes(65536);
  canvas.ReadPixels(bytes.data(), bytes.size());
  return bytes;
}

class HudTest : public ::testing::Test {
 protected:
  HeadlessPlatform host;

  void SetUp() override {
    host.gfx.SetKeepLog(true);
    StartClock(0.0);
    CreateDevice3D();
    SetUpHud();
    PlayerNames[1] = "Player1";
    PlayerNames[2] = "Player2";
    IsComputer[1] = IsComputer[2] = false;
    Scores[1] = Scores[2] = 0;
    CurrentPlayer = 1;
    HudBlink = false;
    host.gfx.ClearLog();
  }
  void TearDown() override {
    ReleaseTextures();
    ReleaseDevice3D();
  }

  static RecordingTexture& Hud() { return *dynamic_cast<RecordingTexture*>(HudTexture); }
  static const std::vector<std::uint8_t>& Line() { return Hud().LevelBytes(0); }
  static std::uint32_t At(int x, int y) { return Hud().Pixel(0, x, y); }

  // Columns holding ink, first and last, within [from, to).
  static std::pair<int, int> InkColumns(int from = 0, int to = 512) {
    int first = -1, last = -1;
    for (int x = from; x < to; ++x)
      for (int y = 0; y < 32; ++y)
        if (At(x, y)) {
          if (first < 0) first = x;
          last = x;
          break;
        }
    return {first, last};
  }
  static long Count(std::uint32_t pixel, int from, int to) {
    long n = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = from; x < to; ++x) n += At(x, y) == pixel;
    return n;
  }
};

TEST_F(HudTest, ScoreboardShowsEachPlayerOnTheirHalfInTheirColour) {
  RedrawHud(false);
  EXPECT_EQ(Line(), Expected({{2, "Player1: 0 ", 0x4040FF}, {258, "Player2: 0 ", 0x404020}}));
  EXPECT_GT(Count(LightRed, 0, 256), 300);
  EXPECT_GT(Count(DarkBlueGreen, 256, 512), 300);
  EXPECT_EQ(Count(DarkBlueGreen, 0, 256), 0);
  EXPECT_EQ(Count(LightRed, 256, 512), 0);
  // Every inked pixel is its entry's colour over black: green = blue, red above them on the left, below
  // on the right.
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 512; ++x) {
      const std::uint32_t p = At(x, y);
      const std::uint32_t r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
      ASSERT_EQ(p >> 24, 0u);
      ASSERT_EQ(g, b) << x << "," << y;
      if (x < 256) ASSERT_GE(r, g) << x << "," << y;
      else ASSERT_LE(r, g) << x << "," << y;
    }
  }
  // Each entry begins at its x, 2 or 258, give or take the first letter's side bearing.
  const auto [leftFirst, leftLast] = InkColumns(0, 256);
  const auto [rightFirst, rightLast] = InkColumns(256, 512);
  EXPECT_GE(leftFirst, 2);
  EXPECT_LE(leftFirst, 4);
  EXPECT_GE(rightFirst, 258);
  EXPECT_LE(rightFirst, 260);
  // "Player1: 0" is ten cells: its last ink lies in the tenth, 191..212 from x = 2.
  EXPECT_GT(leftLast, 2 + 9 * 21);
  EXPECT_LT(leftLast, 2 + 10 * 21);
  EXPECT_GT(rightLast, 258 + 9 * 21);
  EXPECT_LT(rightLast, 258 + 10 * 21);

  // Player 2 to play: the colours change places, the positions do not.
  CurrentPlayer = 2;
  Scores[1] = 3;
  Scores[2] = 5;
  RedrawHud(false);
  EXPECT_EQ(Line(), Expected({{2, "Player1: 3 ", 0x404020}, {258, "Player2: 5 ", 0x4040FF}}));
  EXPECT_EQ(Count(LightRed, 0, 256), 0);
  EXPECT_EQ(Count(DarkBlueGreen, 256, 512), 0);
}

TEST_F(HudTest, ACanvasResizedByAnotherUserIsSizedBackForTheLine) {
  host.text.SetSize(40, 10);
  RedrawHud(false);
  EXPECT_EQ(host.text.Width(), 512);
  EXPECT_EQ(host.text.Height(), 32);
  EXPECT_EQ(Line(), Expected({{2, "Player1: 0 ", 0x4040FF}, {258, "Player2: 0 ", 0x404020}}));
}

TEST_F(HudTest, PixelsNoGlyphCoversAreExactlyZero) {
  // The line before held other text, and the level other bytes: nothing of either survives.
  HudBlink = true;
  RedrawHud(true);  // the prompt
  std::memset(Hud().LevelData(0).bytes.data(), 0xAB, 65536);
  RedrawHud(false);
  // Where a white drawing of the same texts has no coverage at all, every byte is 0.
  const std::vector<std::uint8_t> coverage = Expected({{2, "Player1: 0 ", 0xFFFFFF}, {258, "Player2: 0 ", 0xFFFFFF}});
  long uncovered = 0;
  for (std::size_t i = 0; i < 65536; i += 4) {
    if (coverage[i] == 0) {
      ++uncovered;
      ASSERT_EQ(Line()[i] | Line()[i + 1] | Line()[i + 2] | Line()[i + 3], 0) << "pixel " << i / 4;
    }
    ASSERT_EQ(Line()[i + 3], 0) << "alpha of pixel " << i / 4;
  }
  EXPECT_GT(uncovered, 16384 * 3 / 4);
  EXPECT_LT(uncovered, 16384);
}

TEST_F(HudTest, GameOverAlternatesResultAndPromptCentredByMeasuredWidth) {
  Scores[1] = 8;
  Scores[2] = 5;
  // "8:5 - Player1 won!" is 18 cells, 378 pixels: x = 67 exactly.
  const std::vector<std::uint8_t> result = Expected({{67, "8:5 - Player1 won!", 0x0000FF}});
  // "Press F5 or Esc" is 15 cells, 315 pixels: x = 98.5, rounded half to even to 98.
  const std::vector<std::uint8_t> prompt = Expected({{98, "Press F5 or Esc", 0xFFFFFF}});
  ASSERT_NE(prompt, Expected({{99, "Press F5 or Esc", 0xFFFFFF}}));

  RedrawHud(true);
  EXPECT_TRUE(HudBlink);
  EXPECT_EQ(Line(), result);
  EXPECT_GT(Count(Red, 0, 512), 300);
  EXPECT_EQ(Count(White, 0, 512), 0);
  RedrawHud(true);
  EXPECT_FALSE(HudBlink);
  EXPECT_EQ(Line(), prompt);
  EXPECT_GT(Count(White, 0, 512), 300);
  EXPECT_EQ(Count(Red, 0, 512), 0);
  RedrawHud(true);
  EXPECT_TRUE(HudBlink);
  EXPECT_EQ(Line(), result);
  // A scoreboard in between does not disturb the alternation.
  RedrawHud(false);
  RedrawHud(true);
  EXPECT_EQ(Line(), prompt);
}

TEST_F(HudTest, TheResultNamesTheCurrentPlayerAndIsCentredOnItsCharactersNotItsBytes) {
  Scores[1] = 5;
  Scores[2] = 9;
  CurrentPlayer = 2;
  PlayerNames[2] = Zhuk;
  EXPECT_EQ(ResultText(), "5:9 - " + Zhuk + " won!");
  RedrawHud(true);
  // 14 cells, 294 pixels: x = 109 (counted in bytes it would be 77.5).
  EXPECT_EQ(Line(), Expected({{109, "5:9 - " + Zhuk + " won!", 0x0000FF}}));
  // The ink's middle is the cells' middle, 256, less the side bearings of '5' and '!'.
  const auto [first, last] = InkColumns();
  EXPECT_NEAR((first + last) * 0.5, 256.0, 6.0);

  // A long winning score stays centred too: 10 is printed bare.
  Scores[1] = 10;
  Scores[2] = 6;
  CurrentPlayer = 1;
  PlayerNames[1] = "Abcdefgh";
  HudBlink = false;
  RedrawHud(true);
  EXPECT_EQ(ResultText(), "10:6 - Abcdefgh won!");
  EXPECT_EQ(Line(), Expected({{46, "10:6 - Abcdefgh won!", 0x0000FF}}));  // (512 - 420) / 2
}

TEST_F(HudTest, ANewRackRedrawsTheScoreboardAndKeepsTheBlink) {
  Scores[1] = 8;
  RedrawHud(true);  // the first game-over text: the result
  ASSERT_TRUE(HudBlink);
  const long uploads = Hud().Uploads();
  RackBalls();
  EXPECT_EQ(Hud().Uploads(), uploads + 1);
  EXPECT_TRUE(HudBlink);
  EXPECT_EQ(Line(), Expected({{2, "Player1: 0 ", 0x4040FF}, {258, "Player2: 0 ", 0x404020}}));
  // So the second game's first game-over text is the prompt.
  RedrawHud(true);
  EXPECT_FALSE(HudBlink);
  EXPECT_EQ(Line(), Expected({{98, "Press F5 or Esc", 0xFFFFFF}}));
}

TEST_F(HudTest, ScoresArePrintedWithASignPlaceAndATrailingSpace) {
  EXPECT_EQ(BasicNumber(0), " 0 ");
  EXPECT_EQ(BasicNumber(7), " 7 ");
  EXPECT_EQ(BasicNumber(12), " 12 ");
  EXPECT_EQ(BasicNumber(-3), "-3 ");
  EXPECT_EQ(BasicNumber(-2147483647 - 1), "-2147483648 ");
  Scores[1] = 12;
  Scores[2] = 7;
  RedrawHud(false);
  EXPECT_EQ(Line(), Expected({{2, "Player1: 12 ", 0x4040FF}, {258, "Player2: 7 ", 0x404020}}));
}

TEST_F(HudTest, AnEmptyNameLeavesTheColonAtTheEntrysStart) {
  PlayerNames[1] = "";
  RedrawHud(false);
  EXPECT_EQ(Line(), Expected({{2, ": 0 ", 0x4040FF}, {258, "Player2: 0 ", 0x404020}}));
  // ":" then " 0": ink in the first cell and the third, none in the second.
  const auto [first, last] = InkColumns(0, 256);
  EXPECT_GE(first, 2);
  EXPECT_LT(first, 2 + 21);
  EXPECT_GE(last, 2 + 42);
  EXPECT_LT(last, 2 + 63);
  EXPECT_EQ(InkColumns(2 + 21, 2 + 42).first, -1);
}

TEST_F(HudTest, CyrillicNamesDrawLetters) {
  PlayerNames[1] = Zhuk;
  PlayerNames[2] = "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8F";  // Петя
  RedrawHud(false);
  EXPECT_EQ(Line(), Expected({{2, Zhuk + ": 0 ", 0x4040FF}, {258, "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8F: 0 ", 0x404020}}));
  const std::string box = "\xE4\xB8\xAD";
  EXPECT_NE(Line(), Expected({{2, box + box + box + ": 0 ", 0x4040FF},
                              {258, box + box + box + box + ": 0 ", 0x404020}}));
  // The colon follows three letters, not six bytes: the fourth cell has ink, the seventh none.
  EXPECT_NE(InkColumns(2 + 63, 2 + 84).first, -1);
  EXPECT_EQ(InkColumns(2 + 126, 2 + 147).first, -1);
}

TEST_F(HudTest, EightWideLettersAndTwoDigitsStayInsideTheirHalfAndTheCanvas) {
  const std::string shcha = "\xD0\xA9", yu = "\xD0\xAE";  // Щ, Ю
  const std::string widest[] = {"WWWWWWWW", "MMMMMMMM", shcha + shcha + shcha + shcha + shcha + shcha + shcha + shcha,
                                yu + yu + yu + yu + yu + yu + yu + yu};
  for (const std::string& name : widest) {
    SCOPED_TRACE(name);
    PlayerNames[1] = PlayerNames[2] = name;
    Scores[1] = Scores[2] = 12;
    RedrawHud(false);
    ASSERT_EQ(Line().size(), 65536u);
    EXPECT_EQ(Line(), Expected({{2, name + ": 12 ", 0x4040FF}, {258, name + ": 12 ", 0x404020}}));
    // Twelve visible cells from x = 2 end at 254 and from 258 at 510: the halves never touch.
    EXPECT_EQ(Count(LightRed, 256, 512), 0);
    EXPECT_EQ(InkColumns(255, 258).first, -1);
    const auto [first, last] = InkColumns(258, 512);
    EXPECT_GE(first, 258);
    EXPECT_GT(last, 258 + 11 * 21);  // the last digit is there
    EXPECT_LT(last, 511);
  }
}

TEST_F(HudTest, TheLineReachesTheTopLevelThroughOneLockAsOneBlock) {
  std::memset(Hud().LevelData(0).bytes.data(), 0xAB, 65536);
  const long uploads = Hud().Uploads();
  Scores[2] = 4;
  RedrawHud(false);
  ASSERT_EQ(host.gfx.Names(), (std::vector<std::string_view>{"Surface::LockRect", "Surface::UnlockRect"}));
  const RecordedCall& lock = host.gfx.Calls()[0];
  // The surface, a rectangle (0, 0)-(512, 32), flags 0.
  EXPECT_EQ(lock.args, (std::vector<double>{static_cast<double>(RecordingId(HudSurface)), 1, 0, 0, 512, 32, 0}));
  EXPECT_EQ(Hud().Uploads(), uploads + 1);
  // All 65536 bytes, rows of 2048: the level holds HudPixels byte for byte, to the last alpha.
  ASSERT_EQ(HudPixels.size(), 16384u);
  ASSERT_EQ(Line().size(), 65536u);
  EXPECT_EQ(std::memcmp(Line().data(), HudPixels.data(), 65536), 0);
  EXPECT_EQ(Line()[65535], 0);
  EXPECT_EQ(Line(), Expected({{2, "Player1: 0 ", 0x4040FF}, {258, "Player2: 4 ", 0x404020}}));
  // The smaller levels are the device's to make.
  for (std::size_t level = 1; level < Hud().Levels(); ++level)
    EXPECT_EQ(Hud().LevelBytes(level), std::vector<std::uint8_t>(Hud().LevelBytes(level).size(), 0)) << level;
}

// A level whose rows are padded, or too narrow, as another backend might lock it.
class PitchedSurface final : public GfxSurface {
 public:
  explicit PitchedSurface(std::int32_t pitch) : pitch(pitch), bytes(static_cast<std::size_t>(pitch) * 32 + 64, 0xAB) {}
  HRESULT LockRect(GfxLockedRect* locked, const GfxRect*, std::uint32_t) override {
    *locked = GfxLockedRect{pitch, bytes.data()};
    ++locks;
    return S_OK;
  }
  HRESULT UnlockRect() override {
    ++unlocks;
    return S_OK;
  }
  std::uint32_t Release() override { return 0; }

  std::int32_t pitch;
  std::vector<std::uint8_t> bytes;
  int locks = 0, unlocks = 0;
};

TEST_F(HudTest, PaddedRowsGetEveryRowInPlaceAndNarrowOnesAreRefused) {
  GfxSurface* real = HudSurface;
  PitchedSurface padded(2304);
  HudSurface = &padded;
  RedrawHud(false);
  for (int y = 0; y < 32; ++y) {
    EXPECT_EQ(std::memcmp(&padded.bytes[static_cast<std::size_t>(y) * 2304], &HudPixels[y * 512], 2048), 0) << y;
    for (int pad = 2048; pad < 2304; ++pad) ASSERT_EQ(padded.bytes[y * 2304 + pad], 0xAB) << y;
  }
  PitchedSurface narrow(1024);
  HudSurface = &narrow;
  try {
    RedrawHud(false);
    ADD_FAILURE() << "no error";
  } catch (const DeviceError& e) {
    EXPECT_EQ(e.Call(), "Surface::LockRect");
  }
  EXPECT_EQ(narrow.unlocks, 1);
  EXPECT_EQ(narrow.bytes[1024 * 32], 0xAB);
  HudSurface = real;
}

TEST_F(HudTest, AFailingLockOrUnlockRaisesTheDeviceErrorNamingIt) {
  for (const char* call : {"Surface::LockRect", "Surface::UnlockRect"}) {
    host.gfx.FailCall(call, 1, D3DERR_INVALIDCALL);
    try {
      RedrawHud(false);
      ADD_FAILURE() << "no error from " << call;
    } catch (const DeviceError& e) {
      EXPECT_EQ(e.Call(), call);
      EXPECT_EQ(e.Code(), D3DERR_INVALIDCALL);
    }
  }
  EXPECT_EQ(host.gfx.Count("Surface::LockRect"), 2);
  EXPECT_EQ(host.gfx.Count("Surface::UnlockRect"), 1);  // a failed lock is not unlocked
}

TEST_F(HudTest, SetUpSizesTheCanvasAndCreatesTheEmptyTexture) {
  host.text.SetSize(10, 10);
  host.text.Fill(0xFFFFFF);
  HudPixels.assign(5, 7);
  const std::uint32_t oldTexture = RecordingId(HudTexture);
  SetUpHud();
  EXPECT_EQ(host.text.Width(), 512);
  EXPECT_EQ(host.text.Height(), 32);
  EXPECT_EQ(HudPixels, std::vector<std::int32_t>(16384, 0));
  ASSERT_EQ(host.gfx.Names(), (std::vector<std::string_view>{"Texture::Release", "Surface::Release",
                                                             "Device::CreateTexture", "Texture::GetSurfaceLevel"}));
  EXPECT_EQ(host.gfx.Calls()[0].args[0], oldTexture);
  // 512 x 32, full chain, generated mipmaps, A8R8G8B8, managed.
  EXPECT_EQ(host.gfx.Calls()[2].args, (std::vector<double>{512, 32, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, 1, 0}));
  EXPECT_EQ(host.gfx.Calls()[3].args[1], 0);
  EXPECT_EQ(dynamic_cast<RecordingSurface*>(HudSurface)->Texture(), &Hud());
  EXPECT_EQ(Hud().Uploads(), 0);
}

TEST(HudWithoutSetUpTest, OnlyTheBlinkChangesBeforeTheLineIsSetUp) {
  HeadlessPlatform host;
  host.gfx.SetKeepLog(true);
  HudBlink = false;
  RedrawHud(true);
  RedrawHud(false);
  EXPECT_TRUE(HudBlink);
  EXPECT_TRUE(host.gfx.Calls().empty());
  EXPECT_EQ(host.text.Width(), 0);
}

TEST(HudWithoutSetUpTest, BuildTexturesEndsWithTheSetUp) {
  HeadlessPlatform host;
  CreateDevice3D();
  BuildTextures();
  EXPECT_EQ(host.text.Width(), 512);
  EXPECT_EQ(host.text.Height(), 32);
  EXPECT_EQ(HudPixels.size(), 16384u);
  ASSERT_NE(HudSurface, nullptr);
  RedrawHud(false);
  EXPECT_EQ(dynamic_cast<RecordingTexture*>(HudTexture)->Uploads(), 1);
  ReleaseTextures();
  ReleaseDevice3D();
}

}  // namespace
