// Samples taken at uneven times, as a board's reports arrive, resampled at even ones with SWARII
// (sliding window average with relevance interval interpolation; Audiffren and Contal, Sensors
// 16(8) 1208, 2016). Naive resampling (repeating the latest sample, or joining samples with
// straight lines) biases the sway measures, the velocity above all.
#pragma once

#include <cstddef>
#include <vector>

namespace kymhost {

// The authors' example window: a quarter of a second.
constexpr double kDefaultSwariiWindowSeconds = 0.25;

// The times at which the resampled values lie: first + k / rateHz for k < count, every one before
// the last sample's time.
struct EvenTimes {
  double firstSeconds = 0;
  double rateHz = 0;
  size_t count = 0;
};

EvenTimes EvenTimesOf(const std::vector<double>& seconds, double rateHz);

// Each value of the even times is the weighted mean of the samples within windowSeconds centred
// on it. A sample weighs as long as it is the relevant one: from the midpoint with the sample
// before it to the midpoint with the sample after, the first one in the window from the
// window's start and the last one to its end, within the recording. A window without samples
// keeps the value before it. seconds increase (equal times weigh nothing between them); values
// has one per time.
std::vector<double> Swarii(const std::vector<double>& seconds, const std::vector<double>& values, double rateHz,
                           double windowSeconds);

}  // namespace kymhost
