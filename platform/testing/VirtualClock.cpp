// Virtual time for tests and the headless match runner.
#include "platform/testing/VirtualClock.h"

#include <cmath>

namespace kuvo {

void VirtualClock::Advance(double seconds) {
  auto counts = static_cast<std::int64_t>(std::llround(seconds * kFrequency));
  // The counter wraps like a real 64-bit counter would.
  counter_ = static_cast<std::int64_t>(static_cast<std::uint64_t>(counter_) + static_cast<std::uint64_t>(counts));
  elapsed_ += counts;
}

void VirtualClock::Sleep(int milliseconds) {
  ++sleepCalls_;
  Advance(milliseconds / 1000.0);
}

double VirtualClock::TimeOfDay() {
  return std::fmod(startTimeOfDay_ + ElapsedSeconds(), 86400.0);
}

}  // namespace kuvo
