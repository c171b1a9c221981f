// The text canvas on FreeType: Liberation Mono Bold (metrically Courier New Bold), compiled into the
// program, at 26.25 points on a 96-dpi canvas: 35 pixels per em, ascent 30, descent 11, 21 pixels a
// character. It needs no display, so the game and the headless platform use the same one.
#pragma once
#include <memory>

#include "platform/TextCanvas.h"

namespace kuvo {

class FreeTypeCanvas final : public TextCanvas {
 public:
  // Loads the embedded font; throws std::runtime_error naming the FreeType call that failed.
  // The canvas is empty (0 x 0) until SetSize.
  FreeTypeCanvas();
  FreeTypeCanvas(int width, int height);
  ~FreeTypeCanvas() override;
  FreeTypeCanvas(const FreeTypeCanvas&) = delete;
  FreeTypeCanvas& operator=(const FreeTypeCanvas&) = delete;

  void SetSize(int width, int height) override;
  int Width() const override;
  int Height() const override;
  void Fill(std::uint32_t colour) override;
  void DrawText(int x, int y, std::string_view utf8, std::uint32_t colour) override;
  int MeasureText(std::string_view utf8) override;
  std::size_t ReadPixels(void* out, std::size_t bytes) const override;

  // The font's ascent: the distance from a cell's top to its baseline, in pixels.
  int Ascent() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kuvo
