// What stands on a simulated board: kilograms on each of its four sensors over time.
//
// Sensors: 0 top right, 1 bottom right, 2 top left, 3 bottom left, as far apart as a real board's.
#pragma once

#include "recording/trial_reader.h"

#include <array>
#include <cstdint>

namespace sim {

constexpr int kSensorCount = 4;
constexpr double kSensorSpanXMillimetres = recording::kSensorSpanXmm;
constexpr double kSensorSpanYMillimetres = recording::kSensorSpanYmm;
constexpr double kDefaultSwayMillimetres = 12.0;
constexpr double kDefaultSwayPeriodSeconds = 5.0;

using SensorLoads = std::array<double, kSensorCount>;  // kilograms, by sensor

class LoadModel {
 public:
  virtual ~LoadModel() = default;
  // The load micros microseconds after the board was switched on. Called from timer threads.
  virtual SensorLoads At(uint64_t micros) const = 0;
};

// Splits a mass over the sensors for a centre of pressure x mm right of and y mm in front of
// the board's centre.
SensorLoads Distribute(double kilograms, double xMillimetres, double yMillimetres);

// Where a gently swaying person's centre of pressure is, seconds into the sway: amplitude left and
// right over the period, less and slower front to back.
void SwayOffset(double seconds, double amplitudeMillimetres, double periodSeconds, double& xMillimetres,
                double& yMillimetres);

class FixedLoad : public LoadModel {
 public:
  explicit FixedLoad(const SensorLoads& loads) : loads_(loads) {}
  SensorLoads At(uint64_t) const override { return loads_; }

 private:
  SensorLoads loads_;
};

// A person standing still but for a slow sway of the centre of pressure, left-right and
// front-back at different periods, around a centre x mm right of the board's centre.
class SwayingPerson : public LoadModel {
 public:
  explicit SwayingPerson(double kilograms, double swayMillimetres = kDefaultSwayMillimetres,
                         double periodSeconds = kDefaultSwayPeriodSeconds,
                         double centreXMillimetres = 0.0)
      : kilograms_(kilograms), sway_(swayMillimetres), period_(periodSeconds), centreX_(centreXMillimetres) {}
  SensorLoads At(uint64_t micros) const override;

 private:
  double kilograms_;
  double sway_;
  double period_;
  double centreX_;
};

}  // namespace sim
