// The low-pass filter for centre-of-pressure traces: a second-order Butterworth filter run
// forwards and then backwards, so that sway keeps its timing (zero phase lag).
#pragma once

#include <vector>

namespace kymhost {

// Filters signal in place; leaves it alone unless cutoffHz lies between 0 and half of sampleRateHz.
void LowpassZeroLag(std::vector<double>& signal, double cutoffHz, double sampleRateHz);

}  // namespace kymhost
