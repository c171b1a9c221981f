// kuvo-icon FILE: writes the game's 128 x 128 desktop icon as a PNG, painted by the game's own layer
// engine: an ivory ball on a disc of cloth, transparent round it.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "textures/modTFScript.h"

namespace {

constexpr int IconSize = 128;

}  // namespace

int main(int argc, char** argv) {
  using namespace kuvo;
  if (argc != 2) {
    std::fprintf(stderr, "usage: kuvo-icon FILE.png\n");
    return 2;
  }
  InitLayers(IconSize, 3, 2);
  AddEllipse(0, 0.5f, 0.5f, 0.47f, 0.47f, 1.0f);  // the disc: the icon's shape
  FractalNoise(1, 0.0f, 0.7f, 3.0f);
  NormalizeRange(1, 1, 0.0f, 1.0f);
  ColourMap(0, 1, 0x0A3A12, 0x2C8A38);
  FillLayer(2, 0.0f);
  AddEllipse(2, 0.5f, 0.5f, 0.27f, 0.27f, 1.0f);
  // Lit from the top left: the slope of the blurred ball brightens one side and darkens the other.
  BlurHorizontal(1, 2, 0.12f);
  BlurVertical(1, 1, 0.12f);
  Emboss(1, 1, 0.05f, 0.05f);
  ScaleOffset(1, 1, 1.0f, 0.55f);
  ColourMap(1, 1, 0x9C8C68, 0xFFFFF8);
  BlendPlanes(0, 0, 1, 2);
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(IconSize) * IconSize * 4);
  const std::uint8_t* plane = PlanePixels(0);
  const float* disc = LayerCells(0);
  for (int i = 0; i < IconSize * IconSize; ++i) {
    rgba[i * 4 + 0] = plane[i * 4 + 2];
    rgba[i * 4 + 1] = plane[i * 4 + 1];
    rgba[i * 4 + 2] = plane[i * 4 + 0];
    rgba[i * 4 + 3] = disc[i] > 0.5f ? 255 : 0;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = IconSize;
  image.height = IconSize;
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, argv[1], 0, rgba.data(), IconSize * 4, nullptr)) {
    std::fprintf(stderr, "kuvo-icon: cannot write %s: %s\n", argv[1], image.message);
    return 1;
  }
  return 0;
}
