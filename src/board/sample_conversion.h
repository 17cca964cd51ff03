// Sensor readings to sample values, and report times to output frames. Pure arithmetic, in the
// order of operations the host's recordings depend on.
#pragma once

#include "board/board_constants.h"

#include <cstdint>
#include <limits>

namespace Kestrel {

// A reading through its sensor's 0 kg (low) and 34 kg (high) calibration points, in sample units
// and rounded half up, before any zeroing or clamping. A sensor whose two points are equal (or
// that was never calibrated) has no scale: it reads 0.
inline int32_t ConvertReading(int32_t raw, int32_t low, int32_t high) {
  if (high == low) return 0;
  double perKilogram = (high - low) / kCalibrationTopKilograms;
  double kilograms = (raw - low) / perKilogram;
  double scaled = kilograms * static_cast<double>(kSampleFullScale) / static_cast<double>(kKilogramsFullScale);
  // 16-bit readings one unit apart at worst: |scaled| stays below 10^9, inside 32 bits.
  return static_cast<int32_t>(scaled + 0.5);
}

inline int32_t ClampSample(int32_t value) {
  if (value > kSampleFullScale) return kSampleFullScale;
  if (value < -kSampleFullScale) return -kSampleFullScale;
  return value;
}

// The counter ticks from one time stamp to the next. Counter readings are never that far apart,
// but a difference that does not fit in 64 bits saturates rather than overflowing.
inline int64_t TicksBetween(int64_t from, int64_t to) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  if (from > 0 && to < kMin + from) return kMin;
  if (from < 0 && to > kMax + from) return kMax;
  return to - from;
}

// Counter ticks to microseconds, rounded to nearest. Gaps too long for 32 bits (over half an
// hour without a report) saturate instead of wrapping into negative time.
inline int32_t ElapsedMicros(int64_t ticks, int64_t ticksPerSecond) {
  constexpr int32_t kLimit = std::numeric_limits<int32_t>::max() - 2 * kFramePeriodMicros;
  if (ticksPerSecond <= 0) return 0;
  constexpr int64_t kTicksLimit = (std::numeric_limits<int64_t>::max() - kMicrosPerSecond) / kMicrosPerSecond;
  if (ticks > kTicksLimit) return kLimit;
  if (ticks < -kTicksLimit) return -kLimit;
  // Half of a microsecond is half of ticksPerSecond in the scaled count: rounding with half a
  // million instead is right only for counters whose ticks are whole microseconds.
  int64_t scaled = ticks * kMicrosPerSecond;
  int64_t micros = scaled / ticksPerSecond;
  int64_t rest = scaled % ticksPerSecond;  // the sign of scaled, smaller than ticksPerSecond
  if (rest >= 0 && rest >= ticksPerSecond - rest) ++micros;
  if (rest < 0 && -rest >= ticksPerSecond + rest) --micros;
  if (micros > kLimit) return kLimit;
  if (micros < -kLimit) return -kLimit;
  return static_cast<int32_t>(micros);
}

// How many frames a report stands for: its time plus what earlier reports left over, rounded to
// whole frame periods (a half rounds up). remainder keeps the rest, between -5000 and 4999 us.
inline int32_t FramesFor(int32_t elapsedMicros, int32_t& remainder) {
  int32_t total = elapsedMicros + remainder;
  int32_t frames = (total + kFramePeriodMicros / 2) / kFramePeriodMicros;
  remainder = total - frames * kFramePeriodMicros;
  return frames;
}

}  // namespace Kestrel
