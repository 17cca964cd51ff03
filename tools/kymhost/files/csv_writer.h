// kymhost's CSV: a row for every frame at its 10 ms step, the label in a comment line above;
// with several boards, each board's columns side by side and what they are in comment lines.
#pragma once

#include "files/background_file.h"
#include "host/run_listener.h"

#include <string>

namespace kymhost {

class CsvWriter final : public RunListener {
 public:
  explicit CsvWriter(std::string path) : path_(std::move(path)) {}

  bool Start(const RunStart& start) override;
  void Frame(const FrameRow& row) override;
  bool Finish() override;

  // The frame as its CSV row reads back (to the gram). A live recording keeps its frames so, and
  // its measures are then those of its CSV.
  static FrameKg AsWritten(const FrameKg& frame);

 private:
  std::string path_;
  BackgroundFile file_;
  int boards_ = 1;
};

}  // namespace kymhost
