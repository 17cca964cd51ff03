// A recorded trial as what stands on a board: at every moment the sensors carry what the recording
// had then, linearly interpolated between its samples. Recordings with the four corners (kymhost's
// CSV) give them to the sensors; the others' total and centre of pressure are shared out as the
// one set of sensor loads whose diagonals carry equal sums.
#pragma once

#include "recording/trial_reader.h"
#include "sim/load_model.h"
#include "sim/sampling_starts.h"

#include <memory>
#include <vector>

namespace sim {

// What the board carries after the trial's last sample.
enum class TrialEnd { kHold, kLoop, kEmpty };

class ReplayedTrial : public LoadModel {
 public:
  // The trial's first sample is its beginning, whatever time the file gives it. It begins at
  // beginMicros of the load's time (when its load line takes over), or, with starts, at the
  // host's latest run start from then on; until then the board carries the first sample.
  ReplayedTrial(const recording::Trial& trial, TrialEnd end, uint64_t beginMicros,
                std::shared_ptr<const SamplingStarts> starts);
  SensorLoads At(uint64_t micros) const override;

 private:
  SensorLoads AtTrialTime(double seconds) const;

  std::vector<double> seconds_;  // from the first sample
  std::vector<SensorLoads> loads_;
  // The last sample's time and one mean step more: as long as the samples cover. A loop begins
  // again after it, moving from the last sample back to the first in that step.
  double lengthSeconds_;
  TrialEnd end_;
  uint64_t beginMicros_;
  std::shared_ptr<const SamplingStarts> starts_;
};

}  // namespace sim
