// kuvo-icon FILE: writes the game's 128 x 128 desktop icon as a PNG, painted by the game's own layer
// engine: an ivory ball on a disc of cloth, transparent round it.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "textures/modTFScript.h"
#include "tools/common/Png.h"

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
  // The plane's blue, green and red with the disc as alpha: opaque inside it, transparent outside.
  std::vector<std::uint8_t> bgra(PlanePixels(0), PlanePixels(0) + std::size_t{IconSize} * IconSize * 4);
  const float* disc = LayerCells(0);
  for (int i = 0; i < IconSize * IconSize; ++i) bgra[i * 4 + 3] = disc[i] > 0.5f ? 255 : 0;
  const std::string problem = tools::WritePng(argv[1], bgra, IconSize, IconSize, tools::PixelOrder::Bgra);
  if (!problem.empty()) {
    std::fprintf(stderr, "kuvo-icon: cannot write %s: %s\n", argv[1], problem.c_str());
    return 1;
  }
  return 0;
}
