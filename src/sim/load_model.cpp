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

void SwayOffset(double seconds, double amplitudeMillimetres, double periodSeconds, double& xMillimetres,
                double& yMillimetres) {
  xMillimetres = amplitudeMillimetres * std::sin(kTwoPi * seconds / periodSeconds);
  yMillimetres = amplitudeMillimetres * kFrontBackAmplitudeRatio *
                 std::sin(kTwoPi * seconds / (periodSeconds * kFrontBackPeriodRatio));
}

SensorLoads SwayingPerson::At(uint64_t micros) const {
  double x = 0, y = 0;
  SwayOffset(static_cast<double>(micros) / 1e6, sway_, period_, x, y);
  return Distribute(kilograms_, centreX_ + x, y);
}

}  // namespace sim
