// PNG files through libpng's simplified writer, encoded in memory first so that the file is written
// whole or not at all.
#include "tools/common/Png.h"

#include <png.h>

#include <vector>

#include "tools/common/Files.h"

namespace kuvo::tools {

std::string WritePng(const std::filesystem::path& path, std::span<const std::uint8_t> pixels, std::uint32_t width,
                     std::uint32_t height, PixelOrder order) {
  const std::size_t count = std::size_t{width} * height;
  if (pixels.size() != count * 4)
    return std::to_string(pixels.size()) + " bytes for a " + std::to_string(width) + "x" + std::to_string(height) +
           " picture";
  const bool alpha = order == PixelOrder::Rgba || order == PixelOrder::Bgra;
  const bool bgr = order == PixelOrder::Bgrx || order == PixelOrder::Bgra;
  const std::size_t channels = alpha ? 4 : 3;
  // Red, green, blue (and alpha) in the file's order; libpng's own BGR flag is optional in its builds.
  std::vector<std::uint8_t> packed(count * channels);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &pixels[4 * i];
    std::uint8_t* q = &packed[channels * i];
    q[0] = p[bgr ? 2 : 0];
    q[1] = p[1];
    q[2] = p[bgr ? 0 : 2];
    if (alpha) q[3] = p[3];
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  const auto stride = static_cast<png_int_32>(width * channels);
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&image, nullptr, &size, 0, packed.data(), stride, nullptr)) {
    std::vector<std::uint8_t> encoded(size);
    if (png_image_write_to_memory(&image, encoded.data(), &size, 0, packed.data(), stride, nullptr)) {
      encoded.resize(size);
      return WriteWholeFile(path, encoded);
    }
  }
  std::string problem = image.message;
  png_image_free(&image);
  return problem.empty() ? "cannot encode" : problem;
}

}  // namespace kuvo::tools
