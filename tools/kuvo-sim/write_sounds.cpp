// Writes the six sound effects as WAV files.
#include <cstdio>

#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

int WriteSounds(const std::string&) {
  std::fputs("kuvo-sim: sound writing is not built yet\n", stderr);
  return 1;
}

}  // namespace kuvo::sim
