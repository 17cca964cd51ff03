#include "sim/weight_shift.h"

#include "sim/load_timeline.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kPercent = 100;
}  // namespace

SensorLoads ShiftingPerson::At(uint64_t micros) const {
  double seconds = static_cast<double>(micros) / 1e6;
  double lean = shift_.leftPercent / (shift_.leftPercent + shift_.rightPercent);
  // The weight goes to the right first, then back over the lean to the left.
  double left = std::clamp(lean - shift_.shiftPercent / kPercent * std::sin(kTwoPi * seconds / shift_.shiftPeriodSeconds),
                           0.0, 1.0);
  double x = 0, y = 0;
  SwayOffset(seconds, shift_.swayMillimetres, shift_.swayPeriodSeconds, x, y);
  switch (shift_.feet) {
    // A foot stands over its board's centre, and sways there as the person does.
    case Feet::kLeft: return Distribute(shift_.kilograms * left, x, y);
    case Feet::kRight: return Distribute(shift_.kilograms * (1 - left), x, y);
    case Feet::kBoth: break;
  }
  return Distribute(shift_.kilograms, CentreForSplit(left, 1 - left) + x, y);
}

}  // namespace sim
