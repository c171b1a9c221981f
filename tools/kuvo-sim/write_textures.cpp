// Writes the ten textures as PNG files: BuildTextures on the recording graphics service, then each
// texture's level 0 as the device received it, red, green and blue.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "app/modMain.h"
#include "platform/Platform.h"
#include "platform/testing/RecordingGfx.h"
#include "platform/testing/ScriptedWindow.h"
#include "textures/modTex.h"
#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

namespace {

struct NamedTexture {
  const char* name;
  GfxTexture* const* handle;
};

const NamedTexture kTextures[] = {
    {"LampReflectionTexture", &LampReflectionTexture},
    {"PanelLightTexture", &PanelLightTexture},
    {"SurfaceTexture", &SurfaceTexture},
    {"SurfaceBumpTexture", &SurfaceBumpTexture},
    {"ClothTexture", &ClothTexture},
    {"WoodTexture", &WoodTexture},
    {"WhiteTexture", &WhiteTexture},
    {"WoodLightTexture", &WoodLightTexture},
    {"ClothLightTexture", &ClothLightTexture},
    {"ShadowTexture", &ShadowTexture},
};

// Level 0's blue, green, red, alpha pixels as an RGB PNG. Returns an empty string or the problem.
std::string WritePng(const std::filesystem::path& path, const RecordingTexture& texture) {
  const std::uint32_t width = texture.Width(), height = texture.Height();
  const std::vector<std::uint8_t>& bgra = texture.LevelBytes(0);
  std::vector<std::uint8_t> rgb(std::size_t{width} * height * 3);
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
    rgb[3 * i + 0] = bgra[4 * i + 2];
    rgb[3 * i + 1] = bgra[4 * i + 1];
    rgb[3 * i + 2] = bgra[4 * i + 0];
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  // Encoded in memory first, so the file is written whole or not at all.
  png_alloc_size_t size = 0;
  const auto stride = static_cast<png_int_32>(width * 3);
  if (png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), stride, nullptr)) {
    std::vector<std::uint8_t> encoded(size);
    if (png_image_write_to_memory(&image, encoded.data(), &size, 0, rgb.data(), stride, nullptr)) {
      encoded.resize(size);
      return WriteWholeFile(path, encoded);
    }
  }
  std::string problem = image.message;
  png_image_free(&image);
  return problem.empty() ? "cannot encode" : problem;
}

}  // namespace

int WriteTextures(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "kuvo-sim: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
    return 1;
  }
  RecordingGfx gfx;
  gfx.SetKeepLog(false);
  ScriptedWindow window;
  Platform saved = Host;
  Host.gfx = &gfx;
  Host.window = &window;
  int status = 0;
  try {
    CreateDevice3D();
    BuildTextures();
    for (const NamedTexture& t : kTextures) {
      const auto* texture = dynamic_cast<const RecordingTexture*>(*t.handle);
      std::filesystem::path path = std::filesystem::path(dir) / (std::string(t.name) + ".png");
      std::string problem = texture ? WritePng(path, *texture) : "texture was not built";
      if (!problem.empty()) {
        std::fprintf(stderr, "kuvo-sim: %s: %s\n", path.c_str(), problem.c_str());
        status = 1;
        break;
      }
      std::printf("%s  %ux%u\n", path.c_str(), texture->Width(), texture->Height());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kuvo-sim: %s\n", e.what());
    status = 1;
  }
  ReleaseTextures();
  ReleaseDevice3D();
  Host = saved;
  return status;
}

}  // namespace kuvo::sim
