// Text output service: an off-screen 32-bit canvas that text is drawn on and read back from, the way the
// game uses a hidden window's bitmap and GDI's TextOut. The text line of the picture is drawn here.
//
// What the service promises:
// * Units: positions and sizes in whole pixels; (0, 0) is the canvas's top-left pixel, x to the right,
//   y downwards. A text position is the top-left corner of the text's cell (as TextOut has it): the
//   baseline lies the font's ascent below it, so y = -5 puts the cell's top 5 pixels above the canvas.
// * Colours are Windows colour values, 0x00BBGGRR; the top byte is ignored.
// * Text is UTF-8 in one fixed font, drawn with a transparent background: antialiased glyphs are blended
//   onto what is already there, and pixels no glyph covers keep their bytes exactly. A character the
//   font lacks draws the font's missing-glyph box; each invalid subpart of the UTF-8
//   (platform/Utf8.h: one rule with the name boxes) draws as U+FFFD.
// * Nothing is ever written outside the canvas, whatever the position or the length of the text.
// * Read-back gives rows top row first, each pixel's bytes blue, green, red, 0.
// * Lifetimes: the canvas owns its pixels and font; nothing it hands out outlives a call. It belongs to
//   whoever filled Host.
// * One thread: every call comes from the game's one thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kuvo {

class TextCanvas {
 public:
  virtual ~TextCanvas() = default;

  // Resizes the canvas to width x height pixels (negative sizes count as 0), every pixel black.
  virtual void SetSize(int width, int height) = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Every pixel of the canvas in `colour`.
  virtual void Fill(std::uint32_t colour) = 0;
  // Draws `utf8` with its cell's top-left corner at (x, y) in `colour`.
  virtual void DrawText(int x, int y, std::string_view utf8, std::uint32_t colour) = 0;
  // The distance in pixels from the text's start to where a following text would start (at most INT_MAX).
  virtual int MeasureText(std::string_view utf8) = 0;
  // Copies the pixels, top row first, 4 bytes each, into `out`: at most `bytes` bytes, which a whole
  // canvas needs Width() x Height() x 4 of. Returns the bytes copied.
  virtual std::size_t ReadPixels(void* out, std::size_t bytes) const = 0;
};

}  // namespace kuvo
