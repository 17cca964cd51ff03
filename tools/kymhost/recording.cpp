#include "recording.h"

#include "fixed_format.h"
#include "recorded_trial.h"

#include <charconv>

namespace kymhost {

namespace {
constexpr char kCsvHeader[] =
    "time_s,top_left_kg,bottom_left_kg,top_right_kg,bottom_right_kg,total_kg,cop_x_mm,cop_y_mm,marker\n";
constexpr int kKgDecimals = 3;
constexpr int kMmDecimals = 1;

// A label on one comment line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return text;
}
}  // namespace

Recording::~Recording() { CloseCsv(); }

FrameKg Recording::AsWritten(const FrameKg& frame) {
  FrameKg written = frame;
  for (double& kg : written.channel) {
    std::string text = Fixed(kg, kKgDecimals);
    std::from_chars(text.data(), text.data() + text.size(), kg);
  }
  return written;
}

bool Recording::OpenCsv(const std::string& path, const std::string& label) {
  csv_ = std::fopen(path.c_str(), "w");
  if (!csv_) return false;
  if (!label.empty()) std::fputs(("# " + std::string(kLabelComment) + " " + OneLine(label) + "\n").c_str(), csv_);
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

void Recording::Add(const FrameKg& frame, int marker) {
  double seconds = Seconds();
  if (csv_) {
    std::string row = Fixed(seconds, kSecondsDecimals);
    for (double kg : frame.channel) row += "," + Fixed(kg, kKgDecimals);
    row += "," + Fixed(frame.Total(), kKgDecimals) + "," + Fixed(frame.CopXmm(), kMmDecimals) + "," +
           Fixed(frame.CopYmm(), kMmDecimals) + "," + (marker > 0 ? std::to_string(marker) : "") + "\n";
    std::fputs(row.c_str(), csv_);
  }
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
