// FreeType text canvas: characters by the shared UTF-8 rule, a cache of rendered glyphs, clipped
// blending into B, G, R, 0 pixels.
#include "platform/freetype/FreeTypeCanvas.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Utf8.h"

namespace kuvo {

// The font file, compiled in by kuvo_embed.
extern const unsigned char LiberationMonoBold[];
extern const std::size_t LiberationMonoBoldSize;

namespace {

// 26.25 points at 96 dpi: 35 pixels per em, the size of the game's bold Courier New.
constexpr FT_F26Dot6 FontPoints26Dot6 = 26 * 64 + 16;
constexpr FT_UInt CanvasDpi = 96;

// Rendered glyphs kept at most; past it the cache starts again (names are 8 characters, so this is
// only reached by someone drawing half of Unicode).
constexpr std::size_t MaxCachedGlyphs = 1024;

struct Glyph {
  int left = 0;     // from the pen to the bitmap's first column
  int top = 0;      // from the bitmap's first row up to the baseline
  int width = 0;
  int rows = 0;
  int advance = 0;  // whole pixels: the font is hinted to the pixel grid
  std::vector<std::uint8_t> coverage;  // rows x width, 0..255
};

// Blends `value` over `under` by coverage 0..255, rounding; 0 keeps `under`, 255 gives `value`.
inline std::uint8_t Blend(std::uint8_t under, std::uint8_t value, unsigned coverage) {
  return static_cast<std::uint8_t>((value * coverage + under * (255u - coverage) + 127u) / 255u);
}

}  // namespace

struct FreeTypeCanvas::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int ascent = 0;
  // No glyph reaches further left of its pen than this (the font's bounding box, one pixel of hinting
  // to spare), so drawing stops once the pen has passed the right edge by it.
  int leftmostInk = 0;
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // rows top first, blue, green, red, 0
  std::unordered_map<char32_t, Glyph> glyphs;

  Impl() {
    if (FT_Error e = FT_Init_FreeType(&library)) Fail("FT_Init_FreeType", e);
    if (FT_Error e = FT_New_Memory_Face(library, LiberationMonoBold, static_cast<FT_Long>(LiberationMonoBoldSize), 0,
                                        &face)) {
      FT_Done_FreeType(library);
      Fail("FT_New_Memory_Face", e);
    }
    if (FT_Error e = FT_Set_Char_Size(face, 0, FontPoints26Dot6, CanvasDpi, CanvasDpi)) {
      FT_Done_Face(face);
      FT_Done_FreeType(library);
      Fail("FT_Set_Char_Size", e);
    }
    ascent = static_cast<int>(face->size->metrics.ascender >> 6);  // already rounded up to whole pixels
    leftmostInk = static_cast<int>(FT_MulFix(face->bbox.xMin, face->size->metrics.x_scale) >> 6) - 1;
  }
  ~Impl() {
    FT_Done_Face(face);
    FT_Done_FreeType(library);
  }

  [[noreturn]] static void Fail(const char* call, FT_Error e) {
    throw std::runtime_error(std::string("FreeType: ") + call + " failed with error " + std::to_string(e));
  }

  const Glyph& GlyphOf(char32_t cp) {
    auto found = glyphs.find(cp);
    if (found != glyphs.end()) return found->second;
    if (glyphs.size() >= MaxCachedGlyphs) glyphs.clear();
    // Index 0 is the font's missing-glyph box, drawn for any character the font lacks.
    FT_UInt index = FT_Get_Char_Index(face, cp);
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0 && (index == 0 || FT_Load_Glyph(face, 0, FT_LOAD_RENDER) != 0))
      return glyphs[cp] = Glyph{0, 0, 0, 0, static_cast<int>(face->size->metrics.max_advance >> 6), {}};
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    Glyph g;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.buffer) {
      g.width = static_cast<int>(bitmap.width);
      g.rows = static_cast<int>(bitmap.rows);
      g.coverage.resize(static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.rows));
      for (int r = 0; r < g.rows; ++r) {
        const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(r) * bitmap.pitch;
        const unsigned levels = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
        for (int c = 0; c < g.width; ++c)
          g.coverage[static_cast<std::size_t>(r) * g.width + c] = static_cast<std::uint8_t>(row[c] * 255u / levels);
      }
    }
    return glyphs[cp] = std::move(g);
  }

  // One glyph with its bitmap's top-left at (x, y), clipped to the canvas.
  void Draw(const Glyph& g, long long x, long long y, const std::uint8_t bgr[3]) {
    const long long x0 = std::max(x, 0LL), x1 = std::min(x + g.width, static_cast<long long>(width));
    const long long y0 = std::max(y, 0LL), y1 = std::min(y + g.rows, static_cast<long long>(height));
    for (long long py = y0; py < y1; ++py) {
      const std::uint8_t* cover = g.coverage.data() + (py - y) * g.width;
      std::uint8_t* out = pixels.data() + py * width * 4;
      for (long long px = x0; px < x1; ++px) {
        const unsigned a = cover[px - x];
        if (a == 0) continue;
        std::uint8_t* p = out + px * 4;
        p[0] = Blend(p[0], bgr[0], a);
        p[1] = Blend(p[1], bgr[1], a);
        p[2] = Blend(p[2], bgr[2], a);
      }
    }
  }
};

FreeTypeCanvas::FreeTypeCanvas() : impl_(std::make_unique<Impl>()) {}

FreeTypeCanvas::FreeTypeCanvas(int width, int height) : FreeTypeCanvas() { SetSize(width, height); }

FreeTypeCanvas::~FreeTypeCanvas() = default;

void FreeTypeCanvas::SetSize(int width, int height) {
  impl_->width = std::max(width, 0);
  impl_->height = std::max(height, 0);
  impl_->pixels.assign(static_cast<std::size_t>(impl_->width) * static_cast<std::size_t>(impl_->height) * 4, 0);
}

int FreeTypeCanvas::Width() const { return impl_->width; }
int FreeTypeCanvas::Height() const { return impl_->height; }
int FreeTypeCanvas::Ascent() const { return impl_->ascent; }

void FreeTypeCanvas::Fill(std::uint32_t colour) {
  const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
                                 static_cast<std::uint8_t>(colour), 0};
  std::uint32_t word;
  std::memcpy(&word, pixel, 4);
  // One word at a time through a plain pointer, which the compiler fills sixteen bytes at a time.
  std::uint8_t* bytes = impl_->pixels.data();
  const std::size_t words = impl_->pixels.size() / 4;
  for (std::size_t i = 0; i < words; ++i) std::memcpy(bytes + 4 * i, &word, 4);
}

void FreeTypeCanvas::DrawText(int x, int y, std::string_view utf8, std::uint32_t colour) {
  Impl& c = *impl_;
  const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
                               static_cast<std::uint8_t>(colour)};
  // 64-bit positions: no text is long enough to overflow them, whatever x is.
  long long pen = x;
  const long long baseline = static_cast<long long>(y) + c.ascent;
  for (std::size_t i = 0; i < utf8.size();) {
    if (pen + c.leftmostInk >= c.width) break;  // everything further is right of the canvas
    const Glyph& g = c.GlyphOf(NextCodePoint(utf8, i));
    c.Draw(g, pen + g.left, baseline - g.top, bgr);
    pen += g.advance;
  }
}

int FreeTypeCanvas::MeasureText(std::string_view utf8) {
  long long width = 0;
  for (std::size_t i = 0; i < utf8.size();) width += impl_->GlyphOf(NextCodePoint(utf8, i)).advance;
  return static_cast<int>(std::min(width, static_cast<long long>(INT_MAX)));
}

std::size_t FreeTypeCanvas::ReadPixels(void* out, std::size_t bytes) const {
  const std::size_t n = std::min(bytes, impl_->pixels.size());
  if (n) std::memcpy(out, impl_->pixels.data(), n);
  return n;
}

}  // namespace kuvo
