// The FreeType text canvas: the font's metrics, colours and blending, clipping at every edge, the
// missing-glyph box (invalid UTF-8 is in utf8_test.cpp, with the name boxes).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/freetype/FreeTypeCanvas.h"

using namespace kuvo;

namespace {

std::vector<std::uint8_t> Bytes(const TextCanvas& canvas) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(canvas.Width()) * canvas.Height() * 4);
  EXPECT_EQ(canvas.ReadPixels(bytes.data(), bytes.size()), bytes.size());
  return bytes;
}

// Blue, green, red and the fourth byte of pixel (x, y) as 0xAARRGGBB.
std::uint32_t Pixel(const std::vector<std::uint8_t>& bytes, int width, int x, int y) {
  const std::uint8_t* p = &bytes[(static_cast<std::size_t>(y) * width + x) * 4];
  return static_cast<std::uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
}

// The text drawn alone in white on black, as bytes of a width x height canvas.
std::vector<std::uint8_t> Drawn(const std::string& text, int x = 0, int y = 0, int width = 200, int height = 48) {
  FreeTypeCanvas canvas(width, height);
  canvas.DrawText(x, y, text, 0xFFFFFF);
  return Bytes(canvas);
}

long Inked(const std::vector<std::uint8_t>& bytes) {
  long n = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 4) n += bytes[i] | bytes[i + 1] | bytes[i + 2] ? 1 : 0;
  return n;
}

}  // namespace

TEST(TextCanvasTest, MonospaceCellOf21PixelsBelowAnAscentOf30) {
  FreeTypeCanvas canvas;
  EXPECT_EQ(canvas.Ascent(), 30);
  EXPECT_EQ(canvas.MeasureText(""), 0);
  std::string printable;
  for (char c = ' '; c <= '~'; ++c) {
    EXPECT_EQ(canvas.MeasureText(std::string(1, c)), 21) << c;
    printable += c;
  }
  EXPECT_EQ(canvas.MeasureText(printable), 95 * 21);
  EXPECT_EQ(canvas.MeasureText("Press F5 or Esc"), 315);
  // Width counts characters, not bytes: three Cyrillic letters are six bytes.
  EXPECT_EQ(canvas.MeasureText("\xD0\x96\xD1\x83\xD0\xBA"), 63);
  EXPECT_EQ(canvas.MeasureText("\xE4\xB8\xAD"), 21);  // missing from the font: the box's cell

  // Capitals stand on the baseline 30 pixels below the cell's top: 'H' at y = 0 has ink on row 29, not 30.
  const std::vector<std::uint8_t> h = Drawn("H");
  bool row29 = false, row30 = false;
  for (int x = 0; x < 21; ++x) {
    row29 |= Pixel(h, 200, x, 29) != 0;
    row30 |= Pixel(h, 200, x, 30) != 0;
  }
  EXPECT_TRUE(row29);
  EXPECT_FALSE(row30);
}

TEST(TextCanvasTest, SizeFillAndReadBackInBlueGreenRedZeroOrder) {
  FreeTypeCanvas canvas(7, 3);
  EXPECT_EQ(Bytes(canvas), std::vector<std::uint8_t>(7 * 3 * 4, 0));
  canvas.Fill(0xAA112233u);  // the top byte of a colour value is not a colour
  std::vector<std::uint8_t> bytes = Bytes(canvas);
  for (std::size_t i = 0; i < bytes.size(); i += 4)
    ASSERT_EQ(std::vector<std::uint8_t>(bytes.begin() + i, bytes.begin() + i + 4),
              (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0x00}));
  // A short buffer gets only what fits.
  std::uint8_t two[8] = {};
  EXPECT_EQ(canvas.ReadPixels(two, 6), 6u);
  EXPECT_EQ(two[0], 0x11);
  EXPECT_EQ(two[6], 0);
  // A new size starts black again; a negative one is empty and safe to draw on.
  canvas.SetSize(2, 2);
  EXPECT_EQ(Bytes(canvas), std::vector<std::uint8_t>(16, 0));
  canvas.SetSize(-5, 10);
  EXPECT_EQ(canvas.Width(), 0);
  canvas.DrawText(0, 0, "Hello", 0xFFFFFF);
  EXPECT_EQ(canvas.ReadPixels(two, 8), 0u);
}

TEST(TextCanvasTest, GlyphsBlendOntoWhatIsThereAndLeaveTheRestExactly) {
  FreeTypeCanvas canvas(60, 48);
  canvas.Fill(0x0000FF);                    // red
  canvas.DrawText(5, 0, "@", 0x00FF0000);  // blue
  const std::vector<std::uint8_t> once = Bytes(canvas);
  const std::vector<std::uint8_t> coverage = Drawn("@", 5, 0, 60, 48);
  int full = 0, partial = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 60; ++x) {
      const std::uint32_t p = Pixel(once, 60, x, y);
      const std::uint32_t a = Pixel(coverage, 60, x, y) & 0xFF;
      if (a == 0) {
        ASSERT_EQ(p, 0x00FF0000u) << x << "," << y;  // untouched red, bytes 00 00 FF 00
      } else if (a == 255) {
        ASSERT_EQ(p, 0x000000FFu) << x << "," << y;  // the text's blue
        ++full;
      } else {
        // Coverage a of blue over red: blue = a, red = 255 - a, each rounded.
        ASSERT_NEAR(static_cast<int>(p & 0xFF), static_cast<int>(a), 1) << x << "," << y;
        ASSERT_NEAR(static_cast<int>(p >> 16), 255 - static_cast<int>(a), 1) << x << "," << y;
        ASSERT_EQ(p & 0xFF00FF00u, 0u);
        ++partial;
      }
    }
  }
  EXPECT_GT(full, 50);
  EXPECT_GT(partial, 20);  // antialiased edges

  // Drawn again, the edges darken further towards blue: the glyph is blended, not stamped.
  canvas.DrawText(5, 0, "@", 0x00FF0000);
  const std::vector<std::uint8_t> twice = Bytes(canvas);
  int bluer = 0;
  for (std::size_t i = 0; i < twice.size(); i += 4) {
    ASSERT_GE(twice[i], once[i]);
    bluer += twice[i] > once[i] + 8;
  }
  EXPECT_GT(bluer, 10);
}

TEST(TextCanvasTest, ClippedAtEveryEdgeToExactlyTheVisiblePartOfTheText) {
  // The same text on a canvas big enough for all of it, at (100, 40).
  const std::string text = "Wjg|_Q";
  const std::vector<std::uint8_t> whole = Drawn(text, 100, 40, 400, 120);
  ASSERT_GT(Inked(whole), 200);
  struct At {
    int x, y;
  };
  const At positions[] = {
      {-30, -5},  {-120, 0},  {-125, -38}, {440, 2},   {490, -5}, {505, 0},  {20, 20},
      {20, 31},   {20, -40},  {-60, -20},  {480, 25},  {-3, -3},  {256, 8},  {0, 0},
  };
  for (const At& at : positions) {
    SCOPED_TRACE(std::to_string(at.x) + "," + std::to_string(at.y));
    FreeTypeCanvas canvas(512, 32);
    canvas.DrawText(at.x, at.y, text, 0xFFFFFF);
    const std::vector<std::uint8_t> got = Bytes(canvas);
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 512; ++x) {
        const int wx = x - at.x + 100, wy = y - at.y + 40;
        const std::uint32_t want = wx >= 0 && wx < 400 && wy >= 0 && wy < 120 ? Pixel(whole, 400, wx, wy) : 0;
        ASSERT_EQ(Pixel(got, 512, x, y), want) << "at " << x << "," << y;
      }
    }
  }
}

TEST(TextCanvasTest, NothingIsWrittenWhateverThePositionOrLength) {
  const std::string text = "Wjg|_Q";
  const int far[][2] = {{512, 0},    {0, 32},      {0, -42},    {-127, 0},   {INT_MAX, 0}, {INT_MIN, 0},
                        {0, INT_MAX}, {0, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}};
  for (const auto& at : far) {
    FreeTypeCanvas canvas(512, 32);
    canvas.DrawText(at[0], at[1], text, 0xFFFFFF);
    EXPECT_EQ(Inked(Bytes(canvas)), 0) << at[0] << "," << at[1];
  }
  // A hundred thousand characters starting far to the left: only the last five show, exactly as
  // five drawn at 0.
  const int n = 100000;
  FreeTypeCanvas canvas(512, 32);
  canvas.DrawText(-21 * (n - 5), -5, std::string(n, 'W'), 0xFFFFFF);
  EXPECT_EQ(Bytes(canvas), Drawn("WWWWW", 0, -5, 512, 32));
  // And from the left edge on, the text is cut at the right edge.
  canvas.Fill(0);
  canvas.DrawText(0, -5, std::string(n, 'W'), 0xFFFFFF);
  EXPECT_EQ(Bytes(canvas), Drawn(std::string(25, 'W'), 0, -5, 512, 32));
  EXPECT_EQ(canvas.MeasureText(std::string(n, 'W')), 21 * n);
}

TEST(TextCanvasTest, CharactersTheFontLacksDrawItsMissingGlyphBox) {
  const std::vector<std::uint8_t> box = Drawn("\xE4\xB8\xAD");                  // U+4E2D
  EXPECT_EQ(Drawn("\xE3\x82\xA2"), box);                                       // U+30A2
  EXPECT_EQ(Drawn("\xF0\x9F\x98\x80"), box);                                   // U+1F600
  EXPECT_NE(Drawn("A"), box);
  // A hollow rectangle: its ink's bounding box has inked edges and an empty middle.
  int left = 200, right = -1, top = 48, bottom = -1;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 200; ++x)
      if (Pixel(box, 200, x, y)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  ASSERT_GT(right - left, 8);
  ASSERT_GT(bottom - top, 8);
  EXPECT_LT(right, 21);
  EXPECT_EQ(bottom, 29);  // standing on the baseline
  const auto solid = [&](int x, int y) { return (Pixel(box, 200, x, y) & 0xFF) >= 0xC0; };
  for (int x = left; x <= right - 1; ++x) EXPECT_TRUE(solid(x, top) && solid(x, bottom)) << x;
  for (int y = top; y <= bottom; ++y) EXPECT_TRUE(solid(left, y) && solid(right - 1, y)) << y;
  for (int y = top + 4; y <= bottom - 4; ++y)
    for (int x = left + 4; x <= right - 4; ++x) EXPECT_EQ(Pixel(box, 200, x, y), 0u) << x << "," << y;
}

TEST(TextCanvasTest, CyrillicDrawsLettersNotBoxes) {
  const std::string box = "\xE4\xB8\xAD";
  const std::string letters[] = {"\xD0\x96", "\xD0\xA9", "\xD1\x8F", "\xD0\x91"};  // Ж Щ я Б
  for (const std::string& letter : letters) {
    const std::vector<std::uint8_t> drawn = Drawn(letter);
    EXPECT_NE(drawn, Drawn(box)) << letter;
    EXPECT_GT(Inked(drawn), 60) << letter;
  }
  EXPECT_NE(Drawn("\xD0\x96"), Drawn("\xD0\xA9"));
}
