// The clock and the noise generators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "app/modUtil.h"
#include "platform/testing/Headless.h"

using namespace kuvo;

TEST(NoiseTest, FirstValuesAfterSeedZero) {
  SeedNoise(0.0f);
  EXPECT_EQ(NextNoise(), static_cast<float>(1.737 - 1.0));
  double state = 1.737 * 1.314 + 1.737;
  EXPECT_EQ(NextNoise(), static_cast<float>(state - std::floor(state)));
}

TEST(NoiseTest, StateDropsPastTheThreshold) {
  SeedNoise(983000.0f);  // the next state passes 983732.3456
  double state = (983000.0 * 1.314 + 1.737) * 0.3141;
  EXPECT_EQ(NextNoise(), static_cast<float>(state - std::floor(state)));

  SeedNoise(0.5f);
  for (int i = 0; i < 100000; ++i) {
    float v = NextNoise();
    ASSERT_GE(v, 0.0f);
    ASSERT_LE(v, 1.0f);
  }
}

TEST(NoiseTest, DriftIsALeakyWalkOverTheNoise) {
  SeedNoise(7.0f);
  double d1 = NextDrift();
  double d2 = NextDrift();
  SeedNoise(7.0f);
  NextNoise();
  float n2 = NextNoise();
  EXPECT_EQ(d2, (static_cast<double>(n2) + d1 - 0.5) * 0.99);

  double largest = 0;
  for (int i = 0; i < 200000; ++i) largest = std::max(largest, std::abs(NextDrift()));
  EXPECT_LT(largest, 49.5);
  EXPECT_GT(largest, 0.5);
}

TEST(ClockTest, SumsIncrementsFromTheStartValue) {
  HeadlessPlatform host;
  host.clock.SetCounter(123456789);
  StartClock(2.0);
  EXPECT_EQ(ReadClock(), 2.0);
  host.clock.Advance(0.5);
  EXPECT_DOUBLE_EQ(ReadClock(), 2.5);
  host.clock.Advance(0.25);
  EXPECT_DOUBLE_EQ(ReadClock(), 2.75);
  EXPECT_DOUBLE_EQ(ReadClock(), 2.75);
}

TEST(ClockTest, CounterThatGoesBackwardsCountsAsAWrap) {
  HeadlessPlatform host;
  const std::int64_t largest = std::numeric_limits<std::int64_t>::max();
  host.clock.SetCounter(largest - 5);
  StartClock(0.0);
  host.clock.SetCounter(std::numeric_limits<std::int64_t>::min() + 4);
  // (largest - last) + (now - smallest) = 5 + 4 counts.
  EXPECT_DOUBLE_EQ(ReadClock(), 9.0 / VirtualClock::kFrequency);
  host.clock.Advance(1.0);
  EXPECT_DOUBLE_EQ(ReadClock(), 9.0 / VirtualClock::kFrequency + 1.0);
}
