#include "recording.h"

namespace kymhost {

Recording::~Recording() {
  if (csv_) std::fclose(csv_);
}

bool Recording::OpenCsv(const std::string& path) {
  csv_ = std::fopen(path.c_str(), "w");
  if (!csv_) return false;
  std::fputs("time_s,top_left_kg,bottom_left_kg,top_right_kg,bottom_right_kg,total_kg,cop_x_mm,cop_y_mm\n", csv_);
  return true;
}

void Recording::Add(const FrameKg& frame) {
  double seconds = Seconds();
  if (csv_) {
    std::fprintf(csv_, "%.2f,%.3f,%.3f,%.3f,%.3f,%.3f,%.1f,%.1f\n", seconds, frame.channel[0], frame.channel[1],
                 frame.channel[2], frame.channel[3], frame.Total(), frame.CopXmm(), frame.CopYmm());
  }
  if (frames_ % traceStride_ == 0) {
    trace_.push_back({seconds, frame.Total(), frame.CopXmm(), frame.CopYmm(), frame.HasLoad()});
    if (trace_.size() >= kTraceLimit) Thin();
  }
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
