// Clock over the platform's performance counter, and the noise generators.
#include "app/modUtil.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/Clock.h"
#include "platform/Platform.h"

namespace kuvo {

static std::int64_t ClockFrequency;
static std::int64_t ClockLastCount;
static std::int64_t ClockLargest;
static std::int64_t ClockSmallest;
static double ClockSeconds;

static double NoiseState = 0.0;
static double DriftState = 0.0;

void StartClock(double start) {
  ClockLargest = std::numeric_limits<std::int64_t>::max();
  ClockSmallest = std::numeric_limits<std::int64_t>::min();
  ClockLastCount = Host.clock->QueryPerformanceCounter();
  ClockFrequency = Host.clock->QueryPerformanceFrequency();
  ClockSeconds = start;
}

double ReadClock() {
  std::int64_t now = Host.clock->QueryPerformanceCounter();
  std::uint64_t elapsed;
  if (now >= ClockLastCount) {
    elapsed = static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(ClockLastCount);
  } else {
    // A counter that goes backwards has wrapped: count up to the largest value, then on from the smallest.
    elapsed = (static_cast<std::uint64_t>(ClockLargest) - static_cast<std::uint64_t>(ClockLastCount)) +
              (static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(ClockSmallest));
  }
  ClockSeconds += static_cast<double>(static_cast<std::int64_t>(elapsed)) / static_cast<double>(ClockFrequency);
  ClockLastCount = now;
  return ClockSeconds;
}

void SeedNoise(float value) { NoiseState = value; }

float NextNoise() {
  // The state grows by 1.314 per call until it passes the threshold, then drops by 0.3141,
  // so the fractional parts are irregular but reproducible.
  NoiseState = NoiseState * 1.314 + 1.737;
  if (NoiseState > 983732.3456) NoiseState = NoiseState * 0.3141;
  return static_cast<float>(NoiseState - std::floor(NoiseState));
}

double NextDrift() {
  DriftState = (static_cast<double>(NextNoise()) + DriftState - 0.5) * 0.99;
  return DriftState;
}

}  // namespace kuvo
