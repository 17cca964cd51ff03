#include "recording.h"

#include "fixed_format.h"

namespace kymhost {

namespace {
constexpr char kCsvHeader[] =
    "time_s,top_left_kg,bottom_left_kg,top_right_kg,bottom_right_kg,total_kg,cop_x_mm,cop_y_mm\n";
constexpr int kTimeDecimals = 2;  // frames come at 10 ms steps
constexpr int kKgDecimals = 3;
constexpr int kMmDecimals = 1;
}  // namespace

Recording::~Recording() { CloseCsv(); }

bool Recording::OpenCsv(const std::string& path) {
  csv_ = std::fopen(path.c_str(), "w");
  if (!csv_) return false;
  std::fputs(kCsvHeader, csv_);
  return true;
}

bool Recording::CloseCsv() {
  if (!csv_) return true;
  bool written = !std::ferror(csv_);
  written = std::fclose(csv_) == 0 && written;
  csv_ = nullptr;
  return written;
}

void Recording::Add(const FrameKg& frame) {
  double seconds = Seconds();
  if (csv_) {
    std::string row = Fixed(seconds, kTimeDecimals);
    for (double kg : frame.channel) row += "," + Fixed(kg, kKgDecimals);
    row += "," + Fixed(frame.Total(), kKgDecimals) + "," + Fixed(frame.CopXmm(), kMmDecimals) + "," +
           Fixed(frame.CopYmm(), kMmDecimals) + "\n";
    std::fputs(row.c_str(), csv_);
  }
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
