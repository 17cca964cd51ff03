// What a board that replays a capture answers: to each output report, the input reports that
// followed the same request in the capture, with their delays from it.
//
// The capture's requests are used in order, each once. An output report is the same request as a
// captured one when the report id is the same and, for a reporting mode (0x12), the mode and its
// continuous flag, for a memory write or read (0x16, 0x17), the address (space and offset) are
// too; the rumble bit never counts. It is answered by the first captured request like it after
// the one answered last; the captured requests passed over are never answered. An output report
// with nothing like it left in the capture gets no answer. A request's answer is every input
// report after it up to the next output report; the input reports before the first output report
// come with the first answer, at once.
#pragma once

#include "sim/capture_file.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sim {

class CapturedReplies {
 public:
  explicit CapturedReplies(std::shared_ptr<const Capture> capture);

  struct Reply {
    uint64_t delayMicros;  // after the output report
    const std::vector<uint8_t>* report;  // in the capture, which lives as long as this
  };
  // False when the capture has no request like this one left; else the answer, perhaps none.
  bool Answer(const uint8_t* report, size_t length, std::vector<Reply>& replies);

 private:
  struct Exchange {
    size_t request;  // the output report's index in the capture
    std::vector<size_t> answers;
  };

  std::shared_ptr<const Capture> capture_;
  std::vector<size_t> beforeFirstRequest_;
  std::vector<Exchange> exchanges_;
  size_t next_ = 0;      // the first exchange not passed over yet
  bool answered_ = false;
};

}  // namespace sim
