#include "files/csv_writer.h"

#include "files/boards_columns.h"
#include "files/fixed_format.h"
#include "files/recorded_trial.h"
#include "files/text_file.h"

#include <algorithm>
#include <charconv>

namespace kymhost {

namespace {
constexpr int kSpreadDecimals = 3;

// One board: time_s,top_left_kg,...,cop_y_mm,marker; several: each board's names with its prefix.
std::string Header(int boards) {
  std::string header = kTimeColumn;
  for (int k = 0; k < boards; ++k)
    for (const char* column : kBoardColumns) header += "," + (boards > 1 ? BoardColumnPrefix(k) : "") + column;
  return header + "," + kMarkerColumn + "\n";
}

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
  if (!file_.Open(path_, BackgroundFile::Mode::kText)) {
    std::fprintf(stderr, "kymhost: cannot write %s\n", path_.c_str());
    return false;
  }
  if (!start.label.empty())
    file_.Write("# " + std::string(kLabelComment) + " " + OneLine(start.label) + "\n");
  boards_ = std::max(1, static_cast<int>(start.boards.size()));
  if (boards_ > 1) {
    std::string comments;
    for (int k = 0; k < boards_; ++k) {
      const BoardIdentity& board = start.boards[static_cast<size_t>(k)];
      comments += "# " + std::string(kBoardComment) + " " + std::to_string(k + 1) + ": " + OneLine(board.serial) +
                  (board.label.empty() ? "" : " " + OneLine(board.label)) + "\n";
    }
    comments += "# " + std::string(kSpreadComment) + " " + Fixed(start.startSpreadMs, kSpreadDecimals) + "\n";
    comments += "# " + std::string(kLayoutComment) + " " + Plain(start.gapMm) + " mm\n";
    file_.Write(comments);
  }
  file_.Write(Header(boards_));
  return true;
}

void CsvWriter::Frame(const FrameRow& row) {
  if (!file_.IsOpen()) return;
  std::string line = Fixed(row.seconds, kSecondsDecimals);
  for (int k = 0; k < boards_; ++k) {
    const BoardFrame& part = row.board[static_cast<size_t>(k)];
    if (!part.present) {  // a frame that did not come: empty cells, never a stale or a made-up one
      line += std::string(kBoardColumnCount, ',');
      continue;
    }
    const FrameKg& frame = part.kg;
    for (double kg : frame.channel) line += "," + Fixed(kg, kKgDecimals);
    line += "," + Fixed(frame.Total(), kKgDecimals) + "," + Fixed(frame.CopXmm(), kMmDecimals) + "," +
            Fixed(frame.CopYmm(), kMmDecimals);
  }
  line += "," + (row.marker > 0 ? std::to_string(row.marker) : "") + "\n";
  file_.Write(line);
}

bool CsvWriter::Finish() { return Reported(file_.Close(), "Frames", path_); }

}  // namespace kymhost
