// Clock service: a high-resolution counter, sleeping, and the local date and time of day.
// Counter values are raw counts; QueryPerformanceFrequency gives counts per second.
// Game code measures time only through StartClock/ReadClock, never through the counter directly.
#pragma once
#include <cstdint>

namespace kuvo {

struct LocalDate {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t QueryPerformanceCounter() = 0;
  virtual std::int64_t QueryPerformanceFrequency() = 0;
  virtual void Sleep(int milliseconds) = 0;
  virtual LocalDate Today() = 0;
  // Seconds since local midnight, with the fraction.
  virtual double TimeOfDay() = 0;
};

}  // namespace kuvo
