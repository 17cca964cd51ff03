#include "files/csv_writer.h"

#include "files/fixed_format.h"
#include "files/recorded_trial.h"
#include "files/text_file.h"

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

FrameKg CsvWriter::AsWritten(const FrameKg& frame) {
  FrameKg written = frame;
  for (double& kg : written.channel) {
    std::string text = Fixed(kg, kKgDecimals);
    std::from_chars(text.data(), text.data() + text.size(), kg);
  }
  return written;
}

bool CsvWriter::Start(const RunStart& start) {
  if (!file_.Open(path_)) {
    std::fprintf(stderr, "kymhost: cannot write %s\n", path_.c_str());
    return false;
  }
  if (!start.label.empty()) file_.Write("# " + std::string(kLabelComment) + " " + OneLine(start.label) + "\n");
  file_.Write(kCsvHeader);
  return true;
}

void CsvWriter::Frame(const FrameRow& row) {
  if (!file_.IsOpen()) return;
  const FrameKg& frame = row.board[0].kg;
  std::string line = Fixed(row.seconds, kSecondsDecimals);
  for (double kg : frame.channel) line += "," + Fixed(kg, kKgDecimals);
  line += "," + Fixed(frame.Total(), kKgDecimals) + "," + Fixed(frame.CopXmm(), kMmDecimals) + "," +
          Fixed(frame.CopYmm(), kMmDecimals) + "," + (row.marker > 0 ? std::to_string(row.marker) : "") + "\n";
  file_.Write(line);
}

bool CsvWriter::Finish() { return Reported(file_.Close(), "Frames", path_); }

}  // namespace kymhost
