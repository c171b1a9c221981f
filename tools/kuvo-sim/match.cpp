// The match runner: the real run loop on the testing backends.
#include <cstdio>

#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

int RunMatches(const MatchOptions&) {
  std::fputs("kuvo-sim: the match runner is not built yet\n", stderr);
  return 1;
}

}  // namespace kuvo::sim
