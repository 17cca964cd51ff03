// A load that changes over time: a list of loads, each taking over at its own moment, either at
// once or by a gradual shift of weight from the one before (stepping on, stepping off).
#pragma once

#include "sim/load_model.h"

#include <memory>
#include <vector>

namespace sim {

// Nothing on the board.
class EmptyLoad : public LoadModel {
 public:
  SensorLoads At(uint64_t) const override { return {}; }
};

// The centre of pressure, in millimetres right of the board's centre, of a person who puts
// leftPercent of their weight on the left half and rightPercent on the right.
double CentreForSplit(double leftPercent, double rightPercent);

class LoadTimeline : public LoadModel {
 public:
  // From fromMicros on, load holds; the weight moves over from the previous load during the
  // first rampMicros. Segments may be added in any order; of two with the same start the later
  // added wins. Before the first segment the board is empty.
  void Add(uint64_t fromMicros, std::shared_ptr<const LoadModel> load, uint64_t rampMicros = 0);
  bool Empty() const { return segments_.empty(); }
  SensorLoads At(uint64_t micros) const override;

 private:
  struct Segment {
    uint64_t from;
    uint64_t ramp;
    std::shared_ptr<const LoadModel> load;
  };
  SensorLoads AtSegment(size_t count, uint64_t micros) const;  // with only the first count segments

  std::vector<Segment> segments_;  // by start time
};

}  // namespace sim
