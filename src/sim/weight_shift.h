// A person who shares their weight unevenly between the feet and shifts it from one side to the
// other and back, as in weight-shifting practice after a stroke: on one board with both feet, or
// on two boards side by side with one foot on each, each board carrying its foot's share.
#pragma once

#include "sim/load_model.h"

namespace sim {

enum class Feet { kBoth, kLeft, kRight };

struct WeightShift {
  double kilograms = 0;
  double leftPercent = 50, rightPercent = 50;  // the share the person leans with
  double shiftPercent = 0;      // how far the left share swings either way of it
  double shiftPeriodSeconds = 1;
  double swayMillimetres = 0;   // the gentle sway of SwayingPerson on top; 0: none
  double swayPeriodSeconds = kDefaultSwayPeriodSeconds;
  Feet feet = Feet::kBoth;
};

class ShiftingPerson : public LoadModel {
 public:
  explicit ShiftingPerson(const WeightShift& shift) : shift_(shift) {}
  SensorLoads At(uint64_t micros) const override;

 private:
  WeightShift shift_;
};

}  // namespace sim
