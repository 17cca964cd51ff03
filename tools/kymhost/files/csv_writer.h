// kymhost's CSV: a row for every frame at its 10 ms step, the label in a comment line above;
// with several boards, each board's columns side by side and what they are in comment lines.
#pragma once

#include "host/run_listener.h"

#include <cstdio>
#include <string>

namespace kymhost {

class CsvWriter final : public RunListener {
 public:
  explicit CsvWriter(std::string path) : path_(std::move(path)) {}
  ~CsvWriter() override;
  CsvWriter(const CsvWriter&) = delete;
  CsvWriter& operator=(const CsvWriter&) = delete;

  bool Start(const RunStart& start) override;
  void Frame(const FrameRow& row) override;
  bool Finish() override;

  // The frame as its CSV row reads back (to the gram). A live recording keeps its frames so, and
  // its measures are then those of its CSV.
  static FrameKg AsWritten(const FrameKg& frame);

 private:
  bool Close();

  std::string path_;
  std::FILE* file_ = nullptr;
  int boards_ = 1;
};

}  // namespace kymhost
