#include "analysis/recording.h"


namespace kymhost {

void Recording::Add(const FrameKg& frame, int marker) {
  double seconds = Seconds();
  if (marker > 0) markers_.push_back({marker, frames_});
  if (frames_ % traceStride_ == 0) {
    trace_.push_back({seconds, frame.Total(), frame.CopXmm(), frame.CopYmm(), frame.HasLoad()});
    if (trace_.size() >= kTraceLimit) Thin();
  }
  sway_.push_back({frame.Total(), frame.CopXmm(), frame.CopYmm()});
  latest_ = frame;
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
