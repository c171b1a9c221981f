// Real clock backend.
#include "platform/sdl/SdlClock.h"

#include <SDL.h>

#include <chrono>
#include <ctime>

namespace kuvo {

std::int64_t SdlClock::QueryPerformanceCounter() {
  return static_cast<std::int64_t>(SDL_GetPerformanceCounter());
}

std::int64_t SdlClock::QueryPerformanceFrequency() {
  return static_cast<std::int64_t>(SDL_GetPerformanceFrequency());
}

void SdlClock::Sleep(int milliseconds) { SDL_Delay(static_cast<Uint32>(milliseconds)); }

static std::tm LocalNow(double* fraction) {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  if (fraction) {
    auto sub = now - std::chrono::system_clock::from_time_t(t);
    *fraction = std::chrono::duration<double>(sub).count();
  }
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

LocalDate SdlClock::Today() {
  std::tm local = LocalNow(nullptr);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

double SdlClock::TimeOfDay() {
  double fraction = 0;
  std::tm local = LocalNow(&fraction);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

}  // namespace kuvo
