#include "sim/load_timeline.h"

#include <algorithm>

namespace sim {

double CentreForSplit(double leftPercent, double rightPercent) {
  double total = leftPercent + rightPercent;
  if (total <= 0) return 0.0;
  return (rightPercent / total - 0.5) * kSensorSpanXMillimetres;
}

void LoadTimeline::Add(uint64_t fromMicros, std::shared_ptr<const LoadModel> load, uint64_t rampMicros) {
  auto after = std::upper_bound(segments_.begin(), segments_.end(), fromMicros,
                                [](uint64_t from, const Segment& s) { return from < s.from; });
  segments_.insert(after, Segment{fromMicros, rampMicros, std::move(load)});
}

SensorLoads LoadTimeline::At(uint64_t micros) const { return AtSegment(segments_.size(), micros); }

SensorLoads LoadTimeline::AtSegment(size_t count, uint64_t micros) const {
  // The last segment that has begun, among the first count.
  while (count > 0 && segments_[count - 1].from > micros) --count;
  if (count == 0) return {};
  const Segment& current = segments_[count - 1];
  SensorLoads now = current.load ? current.load->At(micros) : SensorLoads{};
  uint64_t into = micros - current.from;
  if (into >= current.ramp) return now;
  // Part way through the change: the previous load (itself perhaps still changing) fades out.
  SensorLoads before = AtSegment(count - 1, micros);
  double share = static_cast<double>(into) / static_cast<double>(current.ramp);
  for (size_t s = 0; s < now.size(); ++s) now[s] = before[s] + (now[s] - before[s]) * share;
  return now;
}

}  // namespace sim
