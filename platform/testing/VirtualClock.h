// A clock that moves only when told to: tests and kuvo-sim advance it by hand.
// Sleep advances it too, so the paused and game-over branches make progress.
#pragma once
#include <cstdint>

#include "platform/Clock.h"

namespace kuvo {

class VirtualClock : public Clock {
 public:
  // 10 MHz, the usual performance-counter rate.
  static constexpr std::int64_t kFrequency = 10'000'000;

  explicit VirtualClock(double timeOfDayAtStart = 0.0, LocalDate date = {2026, 1, 1})
      : startTimeOfDay_(timeOfDayAtStart), date_(date) {}

  void Advance(double seconds);
  void SetCounter(std::int64_t count) { counter_ = count; }
  void SetDate(LocalDate date) { date_ = date; }
  double ElapsedSeconds() const { return static_cast<double>(elapsed_) / kFrequency; }
  int SleepCalls() const { return sleepCalls_; }

  std::int64_t QueryPerformanceCounter() override { return counter_; }
  std::int64_t QueryPerformanceFrequency() override { return kFrequency; }
  void Sleep(int milliseconds) override;
  LocalDate Today() override { return date_; }
  double TimeOfDay() override;

 private:
  std::int64_t counter_ = 0;
  std::int64_t elapsed_ = 0;
  double startTimeOfDay_;
  LocalDate date_;
  int sleepCalls_ = 0;
};

}  // namespace kuvo
