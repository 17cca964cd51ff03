#include "measures/swarii.h"

#include <algorithm>
#include <cmath>

namespace kymhost {

namespace {
// Times far below a microsecond are the arithmetic's, not the file's.
constexpr double kRounding = 1e-9;
}  // namespace

EvenTimes EvenTimesOf(const std::vector<double>& seconds, double rateHz) {
  EvenTimes times;
  if (seconds.size() < 2 || !(rateHz > 0)) return times;
  times.firstSeconds = seconds.front();
  times.rateHz = rateHz;
  double span = (seconds.back() - seconds.front()) * rateHz;
  // Strictly before the last sample: an exact multiple does not get a value of its own.
  times.count = static_cast<size_t>(std::ceil(span - kRounding));
  if (times.count == 0) times.count = 1;
  return times;
}

std::vector<double> Swarii(const std::vector<double>& seconds, const std::vector<double>& values, double rateHz,
                           double windowSeconds) {
  EvenTimes times = EvenTimesOf(seconds, rateHz);
  std::vector<double> resampled(times.count);
  const size_t n = seconds.size();
  const double half = windowSeconds / 2, start = seconds.front(), end = seconds.back();
  size_t first = 0, past = 0;  // the samples within the window: [first, past)
  for (size_t k = 0; k < times.count; ++k) {
    double centre = times.firstSeconds + static_cast<double>(k) / rateHz;
    double from = centre - half, to = centre + half;
    // A sample on a window's edge (times in whole milliseconds often are) is outside it, however
    // the sum that made the edge rounded: else the result would depend on the build's arithmetic.
    while (first < n && seconds[first] <= from + kRounding) ++first;
    past = std::max(past, first);
    while (past < n && seconds[past] < to - kRounding) ++past;
    if (first == past) {
      resampled[k] = k > 0 ? resampled[k - 1] : values[std::min(first, n - 1)];
      continue;
    }
    double weighted = 0, total = 0;
    for (size_t i = first; i < past; ++i) {
      double left = i == first ? from : (seconds[i - 1] + seconds[i]) / 2;
      double right = i + 1 == past ? to : (seconds[i] + seconds[i + 1]) / 2;
      double weight = std::min(right, end) - std::max(left, start);
      if (weight <= 0) continue;
      weighted += weight * values[i];
      total += weight;
    }
    // Samples all at one instant share the window equally.
    if (total > 0) {
      resampled[k] = weighted / total;
    } else {
      double sum = 0;
      for (size_t i = first; i < past; ++i) sum += values[i];
      resampled[k] = sum / static_cast<double>(past - first);
    }
  }
  return resampled;
}

}  // namespace kymhost
