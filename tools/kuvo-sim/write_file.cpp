// The writers' common steps: the output folder, and a recorded texture's top level as a PNG file.
#include <cstdio>
#include <string>

#include "platform/testing/RecordingGfx.h"
#include "tools/common/Png.h"
#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

bool MakeDirectory(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) std::fprintf(stderr, "kuvo-sim: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
  return !ec;
}

bool WriteLevelPng(const std::filesystem::path& path, const GfxTexture* texture) {
  const auto* recorded = dynamic_cast<const RecordingTexture*>(texture);
  // The recording device keeps levels as blue, green, red and an unused byte.
  std::string problem = recorded ? tools::WritePng(path, recorded->LevelBytes(0), recorded->Width(),
                                                   recorded->Height(), tools::PixelOrder::Bgrx)
                                 : "the texture was not built";
  if (!problem.empty()) {
    std::fprintf(stderr, "kuvo-sim: %s: %s\n", path.c_str(), problem.c_str());
    return false;
  }
  std::printf("%s  %ux%u\n", path.c_str(), recorded->Width(), recorded->Height());
  return true;
}

}  // namespace kuvo::sim
