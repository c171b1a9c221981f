// The real clock: SDL's performance counter and delay, the C library's local time.
#pragma once
#include "platform/Clock.h"

namespace kuvo {

class SdlClock : public Clock {
 public:
  std::int64_t QueryPerformanceCounter() override;
  std::int64_t QueryPerformanceFrequency() override;
  void Sleep(int milliseconds) override;
  LocalDate Today() override;
  double TimeOfDay() override;
};

}  // namespace kuvo
