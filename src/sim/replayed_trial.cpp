#include "sim/replayed_trial.h"

#include "sim/clock.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// The reader's corners are top left, bottom left, top right, bottom right; the sensors are top
// right, bottom right, top left, bottom left.
constexpr int kSensorOfCorner[recording::kCorners] = {2, 3, 0, 1};

SensorLoads Between(const SensorLoads& from, const SensorLoads& to, double share) {
  SensorLoads loads;
  for (size_t s = 0; s < loads.size(); ++s) loads[s] = from[s] + (to[s] - from[s]) * share;
  return loads;
}

}  // namespace

ReplayedTrial::ReplayedTrial(const recording::Trial& trial, TrialEnd end, uint64_t beginMicros,
                             std::shared_ptr<const SamplingStarts> starts)
    : lengthSeconds_(0), end_(end), beginMicros_(beginMicros), starts_(std::move(starts)) {
  const double first = trial.samples.front().seconds;
  for (const recording::Sample& sample : trial.samples) {
    double corners[recording::kCorners];
    if (trial.hasCorners)
      std::copy(sample.cornersKg, sample.cornersKg + recording::kCorners, corners);
    else
      recording::CornersOfCentre(sample.totalKg, sample.copXmm, sample.copYmm, corners);
    SensorLoads loads;
    for (int c = 0; c < recording::kCorners; ++c) loads[static_cast<size_t>(kSensorOfCorner[c])] = corners[c];
    seconds_.push_back(sample.seconds - first);
    loads_.push_back(loads);
  }
  size_t count = seconds_.size();
  if (count > 1) lengthSeconds_ = seconds_.back() * static_cast<double>(count) / static_cast<double>(count - 1);
}

SensorLoads ReplayedTrial::At(uint64_t micros) const {
  if (micros < beginMicros_) return loads_.front();
  uint64_t into = micros - beginMicros_;
  if (starts_) {
    // The run's start in the load's time: as long ago as it was on the host's clock.
    uint64_t start = starts_->Latest(), now = NowMicros();
    if (start == SamplingStarts::kNone || start > now || now - start > into) return loads_.front();
    into = now - start;
  }
  return AtTrialTime(static_cast<double>(into) / 1e6);
}

SensorLoads ReplayedTrial::AtTrialTime(double seconds) const {
  const double last = seconds_.back();
  if (seconds >= lengthSeconds_ && end_ == TrialEnd::kEmpty) return {};
  if (seconds > last) {
    if (end_ != TrialEnd::kLoop || lengthSeconds_ <= last) return loads_.back();
    seconds = std::fmod(seconds, lengthSeconds_);
    if (seconds > last) return Between(loads_.back(), loads_.front(), (seconds - last) / (lengthSeconds_ - last));
  }
  auto after = std::upper_bound(seconds_.begin(), seconds_.end(), seconds);
  if (after == seconds_.begin()) return loads_.front();
  if (after == seconds_.end()) return loads_.back();
  size_t i = static_cast<size_t>(after - seconds_.begin()) - 1;
  return Between(loads_[i], loads_[i + 1], (seconds - seconds_[i]) / (seconds_[i + 1] - seconds_[i]));
}

}  // namespace sim
