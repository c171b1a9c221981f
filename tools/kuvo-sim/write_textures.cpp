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
  if (!MakeDirectory(dir)) return 1;
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
      std::filesystem::path path = std::filesystem::path(dir) / (std::string(t.name) + ".png");
      if (!WriteLevelPng(path, *t.handle)) {
        status = 1;
        break;
      }
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
