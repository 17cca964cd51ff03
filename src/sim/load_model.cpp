#include "sim/load_model.h"

#include <cmath>

namespace sim {

namespace {
constexpr double kTwoPi = 6.283185307179586;
// The front-back sway runs slower and smaller than the left-right one, as in quiet standing.
constexpr double kFrontBackPeriodRatio = 1.7;
constexpr double kFrontBackAmplitudeRatio = 0.6;
}  // namespace

SensorLoads Distribute(double kilograms, double xMillimetres, double yMillimetres) {
  double right = 0.5 + xMillimetres / kSensorSpanXMillimetres;
  double front = 0.5 + yMillimetres / kSensorSpanYMillimetres;
  return {kilograms * right * front, kilograms * right * (1.0 - front), kilograms * (1.0 - right) * front,
          kilograms * (1.0 - right) * (1.0 - front)};
}

SensorLoads SwayingPerson::At(uint64_t micros) const {
  double seconds = static_cast<double>(micros) / 1e6;
  double x = centreX_ + sway_ * std::sin(kTwoPi * seconds / period_);
  double y = sway_ * kFrontBackAmplitudeRatio * std::sin(kTwoPi * seconds / (period_ * kFrontBackPeriodRatio));
  return Distribute(kilograms_, x, y);
}

}  // namespace sim
