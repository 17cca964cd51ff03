// A board that answers from a capture: how it reads the capture and matches requests to it. The
// round trip, a capture replayed through kymhost, is among kymhost's tests.
#include "sim/captured_replies.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes) { return std::vector<uint8_t>(bytes); }

// Requests are taken in order, each once, by id, mode and address; an answer keeps its delays.
TEST(CapturedReplies, AnswerEachRequestWithWhatFollowedItsLikeInTheCapture) {
  sim::Capture capture;
  std::string error;
  ASSERT_TRUE(sim::ParseCapture("# board 00:1B:7A:11:22:33 serial 001b7a112233\n"
                                "5 in 30 00 00\n"
                                "10 out 12 00 30\n"
                                "20 out 17 04 a4 00 fe 00 02\n"
                                "31 in 21 00 00 10 00 fe 04 02\n"
                                "40 out 17 04 a4 00 24 00 10\n"
                                "52 in 21 00 00 f0 00 24\n"
                                "60 out 12 04 32\n"
                                "61 in 32 00 00 01\n"
                                "70 in 32 00 00 02\n",
                                "c.txt", capture, error))
      << error;
  EXPECT_EQ(capture.address, 0x001b7a112233u);
  sim::CapturedReplies board(std::make_shared<sim::Capture>(capture));
  std::vector<sim::CapturedReplies::Reply> replies;
  auto answer = [&](std::vector<uint8_t> request) {
    request.resize(22);
    std::vector<std::pair<uint64_t, uint8_t>> got;  // delay and report id
    if (!board.Answer(request.data(), request.size(), replies)) return got;
    for (const auto& r : replies) got.emplace_back(r.delayMicros, (*r.report)[0]);
    got.emplace_back(0, 0);  // answered
    return got;
  };
  using Got = std::vector<std::pair<uint64_t, uint8_t>>;
  // The button mode with its rumble bit on: the first request, with the report before it.
  EXPECT_EQ(answer(Bytes({0x12, 0x01, 0x30})), (Got{{0, 0x30}, {0, 0}}));
  // The calibration read passes over the extension's, which then has no answer left.
  EXPECT_EQ(answer(Bytes({0x17, 0x04, 0xa4, 0x00, 0x24, 0x00, 0x10})), (Got{{12, 0x21}, {0, 0}}));
  EXPECT_EQ(answer(Bytes({0x17, 0x04, 0xa4, 0x00, 0xfe, 0x00, 0x02})), Got{});
  EXPECT_EQ(answer(Bytes({0x12, 0x04, 0x31})), Got{}) << "another mode";
  EXPECT_EQ(answer(Bytes({0x12, 0x04, 0x32})), (Got{{1, 0x32}, {10, 0x32}, {0, 0}}));
  EXPECT_EQ(answer(Bytes({0x12, 0x04, 0x32})), Got{}) << "each request answers once";

  const struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"# only a header\n", "c.txt: holds no reports"},
      {"10 out 12 00 30\n12x in 30\n", "c.txt:2: '12x' is not a time in microseconds"},
      {"10 sideways 12\n", "c.txt:1: 'sideways' is not 'in' or 'out'"},
      {"10 in 3g 00\n", "c.txt:1: '3g' is not a byte in hex"},
      {"10 in\n", "c.txt:1: a report without bytes"},
  };
  for (const auto& b : bad) {
    EXPECT_FALSE(sim::ParseCapture(b.text, "c.txt", capture, error)) << b.text;
    EXPECT_EQ(error.rfind(b.error, 0), 0u) << error;
  }
}

}  // namespace
