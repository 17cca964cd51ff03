// Report time stamps that no counter gives (far apart, or running backwards past the ends of the
// 64-bit range) must pace to a bounded number of frames without overflowing.
#include "board/sample_conversion.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kTicksPerSecond = 10'000'000;

TEST(SampleTime, TicksBetweenSaturatesAtTheEndsOfTheRange) {
  EXPECT_EQ(Kestrel::TicksBetween(100, 250), 150);
  EXPECT_EQ(Kestrel::TicksBetween(250, 100), -150);
  EXPECT_EQ(Kestrel::TicksBetween(59'417'510'700, kMin), kMin);
  EXPECT_EQ(Kestrel::TicksBetween(-5, kMax), kMax);
  EXPECT_EQ(Kestrel::TicksBetween(kMin, kMax), kMax);
  EXPECT_EQ(Kestrel::TicksBetween(kMax, kMin), kMin);
  EXPECT_EQ(Kestrel::TicksBetween(kMin, kMin), 0);
}

TEST(SampleTime, GapsBeyondTheRangeGiveABoundedNumberOfFrames) {
  int32_t remainder = 0;
  int32_t frames = Kestrel::FramesFor(Kestrel::ElapsedMicros(kMax, kTicksPerSecond), remainder);
  EXPECT_GT(frames, 200000);  // about 35 minutes of frames, the most one report can stand for
  EXPECT_LE(frames, std::numeric_limits<int32_t>::max() / 10000);
  remainder = 0;
  frames = Kestrel::FramesFor(Kestrel::ElapsedMicros(kMin, kTicksPerSecond), remainder);
  EXPECT_LE(frames, 0);  // time running backwards makes no frames
}

}  // namespace
