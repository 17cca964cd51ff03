#include "sim/captured_replies.h"

#include "sim/board_protocol.h"

namespace sim {

namespace {

uint8_t ByteOf(const uint8_t* report, size_t length, size_t at) { return at < length ? report[at] : 0; }

// The bytes that say which request a report is: its id, and for some requests what they ask for.
std::vector<uint8_t> RequestKey(const uint8_t* report, size_t length) {
  using namespace protocol;
  uint8_t id = ByteOf(report, length, 0);
  switch (id) {
    case kMode:
      return {id, static_cast<uint8_t>(ByteOf(report, length, 1) & kContinuousBit), ByteOf(report, length, 2)};
    case kWriteMemory:
    case kReadMemory:
      return {id, static_cast<uint8_t>(ByteOf(report, length, 1) & ~kRumbleBit), ByteOf(report, length, 2),
              ByteOf(report, length, 3), ByteOf(report, length, 4)};
    default:
      return {id};
  }
}

}  // namespace

CapturedReplies::CapturedReplies(std::shared_ptr<const Capture> capture) : capture_(std::move(capture)) {
  const std::vector<CapturedReport>& reports = capture_->reports;
  for (size_t i = 0; i < reports.size(); ++i) {
    if (reports[i].sent)
      exchanges_.push_back(Exchange{i, {}});
    else if (exchanges_.empty())
      beforeFirstRequest_.push_back(i);
    else
      exchanges_.back().answers.push_back(i);
  }
}

bool CapturedReplies::Answer(const uint8_t* report, size_t length, std::vector<Reply>& replies) {
  replies.clear();
  const std::vector<CapturedReport>& reports = capture_->reports;
  const std::vector<uint8_t> key = RequestKey(report, length);
  size_t match = next_;
  while (match < exchanges_.size()) {
    const std::vector<uint8_t>& captured = reports[exchanges_[match].request].bytes;
    if (RequestKey(captured.data(), captured.size()) == key) break;
    ++match;
  }
  if (match == exchanges_.size()) return false;
  if (!answered_) {
    for (size_t i : beforeFirstRequest_) replies.push_back(Reply{0, &reports[i].bytes});
    answered_ = true;
  }
  const uint64_t requestedAt = reports[exchanges_[match].request].micros;
  for (size_t i : exchanges_[match].answers) {
    // Lines are written as their reports come, from two threads: an answer may carry a time a
    // moment before its request's.
    uint64_t at = reports[i].micros;
    replies.push_back(Reply{at > requestedAt ? at - requestedAt : 0, &reports[i].bytes});
  }
  next_ = match + 1;
  return true;
}

}  // namespace sim
