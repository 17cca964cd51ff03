#include "analysis/recording.h"


namespace kymhost {

void Recording::Add(const FrameKg& frame, int marker) {
  AddFrame(SwayFrame{frame.Total(), frame.CopXmm(), frame.CopYmm()}, marker);
  latest_ = frame;
}

void Recording::Add(const SwayFrame& frame, const SideLoads& sides, int marker) {
  AddFrame(frame, marker);
  if (weighsSides_) sides_.push_back(sides);
}

SideLoads Recording::SidesOf(size_t frame) const {
  if (frame < sides_.size()) return sides_[frame];
  // A board's centre of pressure is where its halves balance: right − left = 2 x total / span.
  const SwayFrame& f = sway_[frame];
  double difference = 2 * f.copXmm * f.totalKg / kSensorSpanXmm;
  return {f.totalKg, (f.totalKg - difference) / 2, (f.totalKg + difference) / 2};
}

void Recording::AddFrame(const SwayFrame& frame, int marker) {
  double seconds = Seconds();
  if (marker > 0) markers_.push_back({marker, frames_});
  if (frames_ % traceStride_ == 0) {
    trace_.push_back({seconds, frame.totalKg, frame.copXmm, frame.copYmm, frame.totalKg >= kMinimumLoadKg});
    if (trace_.size() >= kTraceLimit) Thin();
  }
  sway_.push_back(frame);
  ++frames_;
}

// Keeps every second point and halves the rate of new ones, so a run of any length stays light.
void Recording::Thin() {
  size_t kept = 0;
  for (size_t i = 0; i < trace_.size(); i += 2) trace_[kept++] = trace_[i];
  trace_.resize(kept);
  traceStride_ *= 2;
}

}  // namespace kymhost
