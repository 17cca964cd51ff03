// Sampling runs ended from the device's side, and the disconnect lines.
#include "testing/fake_device.h"
#include "testing/last_message.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using Kestrel::SampleWord;
using testing_support::FakeDevice;
using testing_support::LastMessage;

const std::string kDisconnectedBlock("#Device disconnected\n", 22);

class Aborts : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device.InitialiseWithoutReader()); }

  void Start() {
    device.WriteBuffer(">in/sampler/start\n", 18, 0);
    char reply[16];
    ASSERT_TRUE(device.ReadLine(reply, sizeof reply, 0));
    ASSERT_TRUE(device.IsSampling());
  }
  void AppendFrames(int count) {
    for (int i = 0; i < count; ++i) {
      const SampleWord frame[4] = {SampleWord(i), SampleWord(i), SampleWord(i), SampleWord(i)};
      ASSERT_TRUE(device.AppendFrame(frame));
    }
  }
  // What one ReadBuffer gives: its bytes, "<false>" or "<empty>" for a block without frames.
  std::string Read(int room = 1000, int timeoutMs = 0) {
    buffer.assign(static_cast<size_t>(room > 0 ? room : 1) + 8, '\x7F');
    int size = room;
    if (!device.ReadBuffer(&buffer[0], &size, timeoutMs)) return "<false>";
    if (size == 1) return "<empty>";
    return buffer.substr(0, static_cast<size_t>(size));
  }

  FakeDevice device{nullptr, L"Nintendo RVL-WBC-01", L"1"};
  std::string buffer;
};

TEST_F(Aborts, ButtonPressEndsTheRunWithItsLine) {
  Start();
  AppendFrames(2);
  device.Abort(Kestrel::kAbortUserButton);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Read(1000, 5000), "#abort Sampling stopped by user action.");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "no wait";
  EXPECT_EQ(buffer[39], '\x7F') << "no terminator";
  EXPECT_FALSE(device.IsSampling());
  EXPECT_EQ(LastMessage(device), "Sampling stopped by user.");
  EXPECT_EQ(Read().size(), 17u) << "the frames come after the abort";
}

TEST_F(Aborts, EachCodeHasItsLineAndMessage) {
  struct Case {
    int code;
    const char* line;
    size_t length;
    const char* message;
  };
  const Case cases[] = {
      {1, "#abort The host timed out waiting for a response from the device.", 65,
       "The host timed out waiting for a response from the device."},
      {2, "#abort Sampling stopped by user action.", 39, "Sampling stopped by user."},
      {3, "#abort Weak or missing batteries.", 33, "Sampling stopped because of weak or missing batteries."},
      {4, "#stopstart", 10, ""},
  };
  for (const Case& c : cases) {
    Start();
    device.Abort(c.code);
    std::string line = Read();
    EXPECT_EQ(line, c.line) << c.code;
    EXPECT_EQ(line.size(), c.length) << c.code;
    EXPECT_EQ(LastMessage(device), c.message) << c.code;
  }
}

TEST_F(Aborts, StopStartLeavesTheMessageAlone) {
  Start();
  device.Abort(Kestrel::kAbortUserButton);
  Read();
  Start();
  device.Abort(Kestrel::kAbortStopStart);
  EXPECT_EQ(Read(), "#stopstart");
  EXPECT_FALSE(device.IsSampling());
  EXPECT_EQ(LastMessage(device), "Sampling stopped by user.");
}

TEST_F(Aborts, AbortWhileIdleIsForgottenByTheNextRun) {
  device.Abort(Kestrel::kAbortBatteries);
  AppendFrames(1);
  EXPECT_EQ(Read().size(), 9u) << "idle: data, not the abort";
  Start();
  AppendFrames(1);
  EXPECT_EQ(Read().size(), 9u) << "a new run forgot it";
  EXPECT_EQ(LastMessage(device), "");
}

TEST_F(Aborts, AnAbortLineThatDoesNotFitStaysDue) {
  Start();
  AppendFrames(1);
  device.Abort(Kestrel::kAbortUserButton);
  int size = 38;
  buffer.assign(64, '\x7F');
  EXPECT_FALSE(device.ReadBuffer(&buffer[0], &size, 0));
  EXPECT_EQ(size, 38);
  EXPECT_EQ(buffer, std::string(64, '\x7F'));
  EXPECT_TRUE(device.IsSampling());
  EXPECT_EQ(Read(39), "#abort Sampling stopped by user action.");
}

// A host reads in a loop: a line that cannot be delivered must cost it its time-out, as an empty
// read does; INFINITE (-1) waits a bounded while.
TEST_F(Aborts, ALineThatDoesNotFitTakesTheTimeOutInsteadOfSpinning) {
  using Clock = std::chrono::steady_clock;
  const auto timeOut = std::chrono::milliseconds(80);
  const auto negative = std::chrono::milliseconds(Kestrel::kNegativeTimeoutWaitMs);
  Start();
  device.Abort(Kestrel::kAbortUserButton);
  auto start = Clock::now();
  EXPECT_EQ(Read(38, static_cast<int>(timeOut.count())), "<false>");
  EXPECT_GE(Clock::now() - start, timeOut);
  start = Clock::now();
  EXPECT_EQ(Read(38, -1), "<false>");
  EXPECT_GE(Clock::now() - start, negative);
  EXPECT_LT(Clock::now() - start, 3 * negative);
  EXPECT_EQ(Read(39), "#abort Sampling stopped by user action.");

  // The abort comes while the call waits for data: its wait and the refusal share the time-out.
  Start();
  std::thread press([this, timeOut] {
    std::this_thread::sleep_for(3 * timeOut);
    device.Abort(Kestrel::kAbortUserButton);
    device.Wake();
  });
  start = Clock::now();
  EXPECT_EQ(Read(38, static_cast<int>(4 * timeOut.count())), "<false>");
  EXPECT_LT(Clock::now() - start, 5 * timeOut + timeOut / 2) << "the refusal waited a whole time-out of its own";
  press.join();
  EXPECT_EQ(Read(39), "#abort Sampling stopped by user action.");

  device.Disconnect(1167);
  start = Clock::now();
  EXPECT_EQ(Read(21, static_cast<int>(timeOut.count())), "<false>");
  EXPECT_GE(Clock::now() - start, timeOut);
  EXPECT_EQ(Read(22), kDisconnectedBlock);
}

TEST_F(Aborts, DisconnectDuringARun) {
  Start();
  AppendFrames(3);
  device.Disconnect(0x48F);
  EXPECT_NE(LastMessage(device).find("(Error $48F)"), std::string::npos) << "read before the abort: the disconnect text";
  EXPECT_EQ(Read(), "#abort The host timed out waiting for a response from the device.");
  EXPECT_FALSE(device.IsFailed());
  EXPECT_EQ(Read(9).size(), 9u);
  EXPECT_EQ(Read().size(), 17u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Read(22), kDisconnectedBlock) << "NUL-terminated, the size left as the host gave it";
  EXPECT_TRUE(device.IsFailed());
  char line[64];
  EXPECT_FALSE(device.ReadLine(line, sizeof line, 0)) << "already told";
  EXPECT_EQ(LastMessage(device), "The host timed out waiting for a response from the device.");
}

TEST_F(Aborts, DisconnectWhileIdle) {
  AppendFrames(1);
  device.Disconnect(0x48F);
  EXPECT_EQ(Read().size(), 9u) << "no abort line outside a run";
  EXPECT_EQ(Read(22), kDisconnectedBlock);
  EXPECT_EQ(LastMessage(device),
            "The Nintendo RVL-WBC-01 has disconnected from your computer. Check the batteries, or bring it "
            "closer. (Error $48F)");
}

TEST_F(Aborts, ReplyChannelTellsOfTheDisconnectOnce) {
  device.QueueReply("=4\n");
  device.Disconnect(1167);
  char line[64] = "";
  EXPECT_FALSE(device.ReadLine(line, 21, 0)) << "21 bytes cannot take the line and its terminator";
  EXPECT_FALSE(device.IsFailed());
  ASSERT_TRUE(device.ReadLine(line, 22, 0));
  EXPECT_STREQ(line, "!Device disconnected\n");
  EXPECT_TRUE(device.IsFailed());
  EXPECT_FALSE(device.ReadLine(line, sizeof line, 0));

  EXPECT_EQ(Read(21), "<false>") << "the block line needs 22 bytes too";
  EXPECT_EQ(Read(22), kDisconnectedBlock);
}

}  // namespace
