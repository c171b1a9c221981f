// Writes the ten textures as PNG files.
#include <cstdio>

#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

int WriteTextures(const std::string&) {
  std::fputs("kuvo-sim: texture writing is not built yet\n", stderr);
  return 1;
}

}  // namespace kuvo::sim
