// The one UTF-8 rule: strict decoding with one U+FFFD per maximal invalid subpart, and its two users,
// the name boxes (counting and cutting characters) and the text line's canvas (drawing them), agreeing
// on every case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Forms.h"
#include "platform/Utf8.h"
#include "platform/freetype/FreeTypeCanvas.h"

using namespace kuvo;

namespace {

constexpr char32_t R = 0xFFFD;
const std::string Fffd = "\xEF\xBF\xBD";
// Every glyph of Liberation Mono Bold at the canvas's size advances 21 pixels, U+FFFD's included.
constexpr int Advance = 21;

struct Case {
  const char* name;
  std::string bytes;
  std::vector<char32_t> means;
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"ASCII", "Az~", {'A', 'z', '~'}},
      {"two bytes", "\xD0\x96\xC3\xB6", {0x416, 0xF6}},
      {"three bytes", "\xE2\x82\xAC", {0x20AC}},
      {"four bytes", "\xF0\x9F\x98\x80!", {0x1F600, '!'}},
      {"the first of each length", "\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", {0x80, 0x800, 0x10000}},
      {"the last of each length", "\x7F\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF", {0x7F, 0x7FF, 0xFFFF, 0x10FFFF}},
      {"either side of the surrogates", "\xED\x9F\xBF\xEE\x80\x80", {0xD7FF, 0xE000}},
      {"a real U+FFFD", "\xEF\xBF\xBD", {R}},
      {"overlong NUL", "\xC0\x80", {R, R}},
      {"overlong two-byte", "\xC1\xBF", {R, R}},
      {"overlong three-byte", "\xE0\x9F\xBF", {R, R, R}},
      {"overlong four-byte", "\xF0\x8F\xBF\xBF", {R, R, R, R}},
      {"high surrogate", "\xED\xA0\x80z", {R, R, R, 'z'}},
      {"low surrogate", "\xED\xBF\xBF", {R, R, R}},
      {"past U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}},
      {"never a lead", "\xF5\x80\xFF\xFE", {R, R, R, R}},
      {"truncated at the end, four", "ab\xF0\x9F\x98", {'a', 'b', R}},
      {"truncated at the end, three", "\xE2\x82", {R}},
      {"truncated at the end, two", "\xC3", {R}},
      {"truncated by a letter", "a\xE2\x82z", {'a', R, 'z'}},
      {"truncated by a lead", "\xD0\xD0\x96", {R, 0x416}},
      {"stray continuation", "a\x80z", {'a', R, 'z'}},
      {"two stray continuations", "\x80\xBF", {R, R}},
      {"continuation after a whole character", "\xC3\xB6\x80", {0xF6, R}},
      // Unicode's own example of maximal subparts (table 3-8 of the standard).
      {"the standard's example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       {'a', R, R, R, 'b', R, 'c', R, R, 'd'}},
  };
  return cases;
}

std::string Encoded(const std::vector<char32_t>& cps) {
  std::string s;
  for (char32_t cp : cps) s += EncodeUtf8(cp);
  return s;
}

std::vector<std::uint8_t> Drawn(FreeTypeCanvas& canvas, const std::string& text) {
  canvas.Fill(0);
  canvas.DrawText(0, 0, text, 0xFFFFFF);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(canvas.Width()) * canvas.Height() * 4);
  canvas.ReadPixels(bytes.data(), bytes.size());
  return bytes;
}

}  // namespace

TEST(Utf8Test, DecodesEachCaseToItsCharacters) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    std::vector<char32_t> decoded;
    for (std::size_t i = 0; i < c.bytes.size();) decoded.push_back(NextCodePoint(c.bytes, i));
    EXPECT_EQ(decoded, c.means);
    EXPECT_EQ(Utf8Length(c.bytes), static_cast<int>(c.means.size()));
    EXPECT_EQ(ValidUtf8(c.bytes), Encoded(c.means));
  }
}

TEST(Utf8Test, EncodesAndCutsOnCharacterBoundaries) {
  EXPECT_EQ(EncodeUtf8(0x7F), "\x7F");
  EXPECT_EQ(EncodeUtf8(0x80), "\xC2\x80");
  EXPECT_EQ(EncodeUtf8(0x7FF), "\xDF\xBF");
  EXPECT_EQ(EncodeUtf8(0x800), "\xE0\xA0\x80");
  EXPECT_EQ(EncodeUtf8(0xFFFF), "\xEF\xBF\xBF");
  EXPECT_EQ(EncodeUtf8(0x10000), "\xF0\x90\x80\x80");
  EXPECT_EQ(EncodeUtf8(0x10FFFF), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(EncodeUtf8(0xD800), Fffd);
  EXPECT_EQ(EncodeUtf8(0x110000), Fffd);
  EXPECT_EQ(Utf8Prefix("\xD0\x81\xD0\xB6\xD0\x81\xD0\xB6", 3), "\xD0\x81\xD0\xB6\xD0\x81");  // ЁжЁж -> ЁжЁ
  EXPECT_EQ(Utf8Prefix("\xC0\x80z", 1), "\xC0");  // an overlong pair is two characters, not one
  EXPECT_EQ(Utf8Prefix("\xF0\x9F\x98z", 1), "\xF0\x9F\x98");
  EXPECT_EQ(Utf8Prefix("ab", 5), "ab");
  EXPECT_EQ(Utf8Prefix("ab", 0), "");
}

// The name box keeps what the canvas draws: the same characters, so the same count against the limit.
TEST(Utf8Test, TheNameBoxAndTheTextLineAgreeOnEveryCase) {
  FreeTypeCanvas canvas(600, 48);
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string kept = LimitTextEdit("", c.bytes, 0);
    EXPECT_EQ(kept, Encoded(c.means));
    EXPECT_EQ(canvas.MeasureText(c.bytes), Advance * static_cast<int>(c.means.size()));
    EXPECT_EQ(Drawn(canvas, c.bytes), Drawn(canvas, kept));
  }
  EXPECT_NE(Drawn(canvas, "a\x80z"), Drawn(canvas, "az"));  // a replacement is drawn, not dropped
}

TEST(Utf8Test, InvalidBytesCountAgainstANameBoxsLength) {
  // Each invalid subpart is one character of the eight, kept as U+FFFD.
  EXPECT_EQ(LimitTextEdit("Player", "Player\xC0\x80", 8), "Player" + Fffd + Fffd);
  EXPECT_EQ(LimitTextEdit("Player1", "Player1\xC0\x80", 8), "Player1" + Fffd);
  EXPECT_EQ(LimitTextEdit("Player1", "Player1\xF0\x9F\x98", 8), "Player1" + Fffd);
  // Typed into the middle: the cursor stands after the replacement, in bytes of the valid text.
  int cursor = -1;
  EXPECT_EQ(LimitTextEdit("ab", "a\xFF" "b", 8, &cursor), "a" + Fffd + "b");
  EXPECT_EQ(cursor, 4);
}
