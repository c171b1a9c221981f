// What the tools share: the PNG writer (files read back with libpng, pixel for pixel), whole-file
// writes, and the one command-line rule of kuvo-sim and kuvo-shot.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/common/Files.h"
#include "tools/common/Options.h"
#include "tools/common/Png.h"

using namespace kuvo::tools;
namespace fs = std::filesystem;

namespace {

// A folder of its own for each test, gone afterwards.
class ToolFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("kuvo-tools-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::vector<fs::path> Left() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path().filename());
    return files;
  }

  fs::path dir;
};

struct ReadBack {
  bool ok = false;
  png_uint_32 fileFormat = 0;  // the channels the file itself holds
  png_uint_32 width = 0, height = 0;
  std::vector<std::uint8_t> rgba;  // as red, green, blue, alpha, whatever the file holds
};

ReadBack ReadPng(const fs::path& path) {
  ReadBack r;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return r;
  r.fileFormat = image.format;
  r.width = image.width;
  r.height = image.height;
  image.format = PNG_FORMAT_RGBA;
  r.rgba.resize(PNG_IMAGE_SIZE(image));
  r.ok = png_image_finish_read(&image, nullptr, r.rgba.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return r;
}

// Three by two pixels, every byte different, so a swapped channel, a dropped or kept fourth byte, a
// mirrored row or column all show.
constexpr std::uint32_t W = 3, H = 2;
std::vector<std::uint8_t> Picture() {
  std::vector<std::uint8_t> bytes(W * H * 4);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(10 + 9 * i);
  return bytes;
}

}  // namespace

TEST_F(ToolFilesTest, PngFilesHoldThePixelsInEachOrder) {
  struct Case {
    PixelOrder order;
    std::array<int, 3> rgbAt;  // where red, green and blue lie in a four-byte pixel
    bool alpha;
  };
  const Case cases[] = {{PixelOrder::Rgbx, {0, 1, 2}, false},
                        {PixelOrder::Bgrx, {2, 1, 0}, false},
                        {PixelOrder::Rgba, {0, 1, 2}, true},
                        {PixelOrder::Bgra, {2, 1, 0}, true}};
  const std::vector<std::uint8_t> pixels = Picture();
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.order));
    const fs::path path = dir / "picture.png";
    ASSERT_EQ(WritePng(path, pixels, W, H, c.order), "");
    const ReadBack r = ReadPng(path);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.width, W);
    EXPECT_EQ(r.height, H);
    // 8-bit colour, with an alpha channel only where the pixels carry one.
    EXPECT_EQ(r.fileFormat, c.alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB);
    for (std::size_t i = 0; i < W * H; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(r.rgba[4 * i + 0], pixels[4 * i + c.rgbAt[0]]);
      EXPECT_EQ(r.rgba[4 * i + 1], pixels[4 * i + c.rgbAt[1]]);
      EXPECT_EQ(r.rgba[4 * i + 2], pixels[4 * i + c.rgbAt[2]]);
      EXPECT_EQ(r.rgba[4 * i + 3], c.alpha ? pixels[4 * i + 3] : 255);
    }
  }
  EXPECT_EQ(Left(), std::vector<fs::path>{"picture.png"});  // no temporary file beside it
}

TEST_F(ToolFilesTest, AFailedWriteSaysWhyAndLeavesNothing) {
  const std::vector<std::uint8_t> pixels = Picture();
  // One byte short, or one pixel too many, of the size given.
  EXPECT_EQ(WritePng(dir / "short.png", std::span(pixels).first(W * H * 4 - 1), W, H, PixelOrder::Rgbx),
            "23 bytes for a 3x2 picture");
  EXPECT_EQ(WritePng(dir / "long.png", pixels, W, H - 1, PixelOrder::Rgba), "24 bytes for a 3x1 picture");
  EXPECT_EQ(WritePng(dir / "no-such-folder" / "a.png", pixels, W, H, PixelOrder::Rgbx), "No such file or directory");
  EXPECT_EQ(WriteWholeFile(dir / "no-such-folder" / "a.wav", pixels), "No such file or directory");
  EXPECT_EQ(Left(), std::vector<fs::path>{});
  // A file written again is replaced whole.
  const std::vector<std::uint8_t> first{1, 2, 3, 4}, second{9, 8};
  ASSERT_EQ(WriteWholeFile(dir / "a.bin", first), "");
  ASSERT_EQ(WriteWholeFile(dir / "a.bin", second), "");
  EXPECT_EQ(fs::file_size(dir / "a.bin"), 2u);
  EXPECT_EQ(Left(), std::vector<fs::path>{"a.bin"});
}

namespace {

struct Parsed {
  std::string problem;
  std::vector<std::pair<std::string, std::string>> given;
};

Parsed Parse(std::vector<std::string> words) {
  static constexpr OptionName names[] = {{"games", true}, {"p1", true}, {"p2", true}, {"out", true}};
  words.insert(words.begin(), "tool");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<GivenOption> given;
  Parsed p;
  p.problem = ReadOptions(static_cast<int>(words.size()), argv.data(), names, given);
  for (const GivenOption& g : given) p.given.emplace_back(g.name, g.value);
  return p;
}

using Given = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST(ToolOptionsTest, ReadsLongOptionsEitherWayInOrder) {
  struct Case {
    std::vector<std::string> words;
    Given given;
  };
  const Case cases[] = {
      {{}, {}},
      {{"--games", "2"}, {{"games", "2"}}},
      {{"--games=2"}, {{"games", "2"}}},
      {{"--gam", "2"}, {{"games", "2"}}},  // a unique start of a name
      {{"--out=a=b.png"}, {{"out", "a=b.png"}}},
      {{"--out="}, {{"out", ""}}},  // an empty value is the option's to refuse
      {{"--games", "--p1"}, {{"games", "--p1"}}},  // a value is the next word, whatever it looks like
      {{"--p1", "novice", "--p2=master", "--p1", "master"}, {{"p1", "novice"}, {"p2", "master"}, {"p1", "master"}}},
      {{"-h"}, {{"help", ""}}},
      {{"--help", "--games", "1"}, {{"help", ""}, {"games", "1"}}},
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.words);
    EXPECT_EQ(p.problem, "") << ::testing::PrintToString(c.words);
    EXPECT_EQ(p.given, c.given) << ::testing::PrintToString(c.words);
  }
}

TEST(ToolOptionsTest, NamesWhatIsWrongWithACommandLine) {
  struct Case {
    std::vector<std::string> words;
    std::string problem;
  };
  const Case cases[] = {
      {{"--frobnicate", "1"}, "unknown option --frobnicate"},
      {{"--frobnicate=1"}, "unknown option --frobnicate"},
      {{"--games", "1", "--gamesx", "1"}, "unknown option --gamesx"},
      {{"--p", "novice"}, "ambiguous option --p"},
      {{"-x"}, "unknown option -x"},
      {{"--games"}, "missing value for --games"},
      {{"--p1", "novice", "--p2"}, "missing value for --p2"},
      {{"--help=1"}, "--help takes no value"},
      {{"stray"}, "unexpected argument stray"},
      {{"--games", "2", "stray", "--p1", "novice"}, "unexpected argument stray"},
      {{"--", "--games"}, "unexpected argument --games"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.words).problem, c.problem) << ::testing::PrintToString(c.words);
}

TEST(ToolOptionsTest, NumbersArePlainDecimals) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  };
  const Case decimals[] = {{"0", true, 0},       {"86399.5", true, 86399.5}, {"007", true, 7}, {"10.25", true, 10.25},
                           {"1.", false, 0},     {".5", false, 0},           {"1e3", false, 0}, {"0x2", false, 0},
                           {" 2", false, 0},     {"2 ", false, 0},           {"-0", false, 0}, {"+1", false, 0},
                           {"inf", false, 0},    {"nan", false, 0},          {"", false, 0},   {"1.2.3", false, 0},
                           {"1,5", false, 0}};
  for (const Case& c : decimals) {
    double value = -1;
    EXPECT_EQ(ParseDecimal(c.text, 0, 86400, value), c.ok) << c.text;
    EXPECT_EQ(value, c.ok ? c.value : -1) << c.text;  // a refused value leaves the old one
  }
  double value = 0;
  EXPECT_TRUE(ParseDecimal("5", 0, 5, value));
  EXPECT_FALSE(ParseDecimal("5.0001", 0, 5, value));
  EXPECT_FALSE(ParseDecimal("1", 2, 5, value));

  long whole = -1;
  EXPECT_TRUE(ParseWhole("16", 0, 16, whole));
  EXPECT_EQ(whole, 16);
  EXPECT_TRUE(ParseWhole("016", 16, 8192, whole));
  EXPECT_EQ(whole, 16);
  for (const char* bad : {"17", "15", "", "-1", "+1", "1.0", "1e1", " 1", "99999999999999999999999"}) {
    whole = -1;
    EXPECT_FALSE(ParseWhole(bad, 16, 16, whole)) << bad;
    EXPECT_EQ(whole, -1) << bad;
  }

  double seconds = -1;
  EXPECT_TRUE(ParseTimeOfDay("86399.999", seconds));
  EXPECT_EQ(seconds, 86399.999);
  EXPECT_TRUE(ParseTimeOfDay("0", seconds));
  EXPECT_EQ(seconds, 0);
  EXPECT_FALSE(ParseTimeOfDay("86400", seconds));
  EXPECT_FALSE(ParseTimeOfDay("86400.0", seconds));
}

TEST(ToolOptionsTest, AUsageErrorPrintsTheReasonAndTheUsage) {
  ::testing::internal::CaptureStderr();
  const int code = UsageError("kuvo-x", "unknown option --y", "usage: kuvo-x [--z]\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "kuvo-x: unknown option --y\nusage: kuvo-x [--z]\n");
  EXPECT_EQ(code, 2);
}
