// The run as an XDF file, as labs that synchronise several instruments record them: a stream of
// frames for each board (nominally 100 a second, each with its time on the host's clock, the
// clock a lab's other streams on this computer keep), one stream of kymhost's markers and
// messages as text, and the footers readers use.
#pragma once

#include "files/background_file.h"
#include "host/run_listener.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kymhost {

class XdfWriter final : public RunListener {
 public:
  explicit XdfWriter(std::string path) : path_(std::move(path)) {}

  bool Start(const RunStart& start) override;
  void Frame(const FrameRow& row) override;
  void Message(double seconds, const std::string& text) override;
  bool Finish() override;

 private:
  struct Stream {
    uint32_t id = 0;
    std::string samples;  // waiting for their chunk
    uint32_t waiting = 0;
    uint64_t count = 0;
    double first = 0, last = 0;
  };
  void Chunk(uint16_t tag, const std::string& content);
  void FlushSamples(Stream& stream);
  static void Stamp(Stream& stream, double seconds);

  std::string path_;
  BackgroundFile file_;
  double startSeconds_ = 0;  // the host's clock at the run's start
  double periodSeconds_ = 0;
  double lastHostSeconds_ = 0, lastRowSeconds_ = 0;  // of the latest frame
  std::vector<Stream> boards_;
  Stream markers_;
  long rows_ = 0;
  std::string chunk_;  // reused
};

}  // namespace kymhost
