// The run as an EDF+ or BDF+ file, which EEG and sleep tools open: each board's corners, total
// and centre of pressure as signals at the frame rate, a data record a second, and kymhost's
// markers and messages as annotations at their times.
#pragma once

#include "files/background_file.h"
#include "files/edf_format.h"
#include "host/run_listener.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kymhost {

class EdfWriter final : public RunListener {
 public:
  EdfWriter(std::string path, const edf::Flavour& flavour) : path_(std::move(path)), flavour_(flavour) {}

  bool Start(const RunStart& start) override;
  void Frame(const FrameRow& row) override;
  void Message(double seconds, const std::string& text) override;
  bool Finish() override;

 private:
  void AddRow(const FrameRow& row);
  void AddSample(int signal, double value);
  void EndRecord();

  std::string path_;
  edf::Flavour flavour_;
  BackgroundFile file_;
  int boards_ = 1;
  int samplesPerRecord_ = 0;
  double recordSeconds_ = 0;
  double periodSeconds_ = 0;
  std::vector<bool> sending_;  // whether each board's last row held its frame
  std::vector<std::vector<int32_t>> record_;  // the current record's samples, by signal
  int inRecord_ = 0;
  long rows_ = 0;
  long records_ = 0;
  std::deque<std::string> annotations_;  // lists not yet in a record
  std::string bytes_;  // a record's bytes, reused
};

}  // namespace kymhost
