#include "measures/weight_bearing.h"

#include <cmath>

namespace kymhost {

namespace {
constexpr double kPercent = 100;
}  // namespace

WeightBearing MeasureWeightBearing(const std::vector<SideLoads>& frames, double standingLeastKg) {
  return MeasureWeightBearing(frames.size(), [&](size_t i) { return frames[i]; }, standingLeastKg);
}

WeightBearing MeasureWeightBearing(size_t count, const std::function<SideLoads(size_t)>& frame, double standingLeastKg) {
  WeightBearing w;
  w.measured = true;
  std::vector<double> asymmetry;
  for (size_t i = 0; i < count; ++i) {
    SideLoads f = frame(i);
    double both = f.leftKg + f.rightKg;
    if (f.totalKg < standingLeastKg || !(both > 0)) continue;
    asymmetry.push_back(kPercent * (f.rightKg - f.leftKg) / both);
  }
  w.frames = static_cast<long>(asymmetry.size());
  if (asymmetry.empty()) return w;
  double n = static_cast<double>(asymmetry.size()), sum = 0;
  for (double a : asymmetry) sum += a;
  w.meanPct = sum / n;
  double squares = 0;  // about the mean, in a second pass
  for (double a : asymmetry) squares += (a - w.meanPct) * (a - w.meanPct);
  w.sdPct = std::sqrt(squares / n);
  // A frame's left share is 100 × left / (left + right) = 50 − asymmetry / 2.
  w.leftSharePct = kPercent / 2 - w.meanPct / 2;
  w.rightSharePct = kPercent / 2 + w.meanPct / 2;
  return w;
}

}  // namespace kymhost
