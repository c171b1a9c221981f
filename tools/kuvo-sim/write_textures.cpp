// Writes the ten textures as PNG files: BuildTextures on the recording graphics service, then each
// texture's level 0 as the device received it, red, green and blue.
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
      std::string problem = texture ? WriteRgbPng(path, texture->LevelBytes(0), texture->Width(), texture->Height()) : "texture was not built";
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
