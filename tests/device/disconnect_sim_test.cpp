// A device switched off during a run, end to end: reader thread, abort line, the frames still
// held, the disconnect lines and the messages.
#include "testing/eventually.h"
#include "testing/fake_device.h"
#include "testing/last_message.h"
#include "testing/scripted_endpoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using Kestrel::SampleWord;
using testing_support::Eventually;
using testing_support::FakeDevice;
using testing_support::FrameReport;
using testing_support::LastMessage;
using testing_support::ScriptedDevice;

const char kAbortLine[] = "#abort The host timed out waiting for a response from the device.";
const std::string kDisconnectedBlock("#Device disconnected\n", 22);

class PowerOff : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.Initialise());
    device.WriteBuffer(">in/sampler/start\n", 18, 0);
    char reply[16];
    ASSERT_TRUE(device.ReadLine(reply, sizeof reply, 0));
    for (SampleWord n = 1; n <= 3; ++n) sim.Endpoint().Send(FrameReport({n, n, n, n}));
    ASSERT_TRUE(Eventually([&] { return device.ReadBuffSize() == 12; }));
  }

  // Once the reader waits in a read, so the read ends with the link's status (a read begun
  // after the loss fails at once with the system's error, a message of its own).
  void SwitchOff() {
    ASSERT_TRUE(Eventually([&] { return sim.Endpoint().PendingReadCount() > 0; }));
    sim.Endpoint().Fail();
    ASSERT_TRUE(Eventually([&] { return device.IsDisconnected(); }));
  }
  std::string Read(int room = 200, int timeoutMs = 0) {
    std::string buffer(static_cast<size_t>(room), '\x7F');
    int size = room;
    if (!device.ReadBuffer(&buffer[0], &size, timeoutMs)) return "<false>";
    return buffer.substr(0, static_cast<size_t>(size));
  }

  ScriptedDevice sim;
  FakeDevice device{sim.Open(), L"Nintendo RVL-WBC-01", L"1"};
};

TEST_F(PowerOff, AbortLineThenTheFramesThenTheDisconnectLine) {
  SwitchOff();
  EXPECT_EQ(device.readErrorCode.load(), sim::kStatusDeviceNotConnected);
  std::string abort = Read();
  EXPECT_EQ(abort, kAbortLine);
  EXPECT_EQ(abort.size(), 65u);
  EXPECT_FALSE(device.IsSampling());
  EXPECT_FALSE(device.IsFailed());

  EXPECT_EQ(Read(), std::string("@\0\1\0\1\0\1\0\1\0\2\0\2\0\2\0\2\0\3\0\3\0\3\0\3", 25));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Read(22), kDisconnectedBlock) << i;
  EXPECT_TRUE(device.IsFailed());
  char line[64];
  EXPECT_FALSE(device.ReadLine(line, sizeof line, 0));
  EXPECT_EQ(LastMessage(device), "The host timed out waiting for a response from the device.");
  EXPECT_EQ(LastMessage(device), "") << "given once";
}

TEST_F(PowerOff, ReplyChannelAndTheMessageBeforeTheAbort) {
  SwitchOff();
  EXPECT_EQ(LastMessage(device),
            "The Nintendo RVL-WBC-01 has disconnected from your computer. Check the batteries, or bring it "
            "closer. (Error $C000009D)");
  char line[64];
  ASSERT_TRUE(device.ReadLine(line, sizeof line, 0));
  EXPECT_STREQ(line, "!Device disconnected\n");
  EXPECT_TRUE(device.IsFailed());
  EXPECT_FALSE(device.ReadLine(line, sizeof line, 0));
  EXPECT_EQ(Read(), kAbortLine) << "the run's abort is still due";
  EXPECT_EQ(LastMessage(device), "The host timed out waiting for a response from the device.");
}

TEST_F(PowerOff, AWaitingReadGivesUpAtItsTimeOut) {
  EXPECT_EQ(Read(200, 0).size(), 25u);
  device.WaitForData(0);  // the signal the three reports left
  auto start = std::chrono::steady_clock::now();
  posix::ScheduleAt(posix::NowMicros() + 30'000, [this] { sim.Endpoint().Fail(); });
  EXPECT_EQ(Read(200, 300), "<false>") << "a failed read does not wake the host";
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  ASSERT_TRUE(Eventually([&] { return device.IsDisconnected(); }));
  EXPECT_EQ(Read(), kAbortLine);
  EXPECT_EQ(Read(22), kDisconnectedBlock);
}

TEST_F(PowerOff, WhileIdleNoAbortLine) {
  device.WriteBuffer(">in/sampler/stop\n", 17, 0);
  SwitchOff();
  EXPECT_EQ(Read().size(), 25u);
  EXPECT_EQ(Read(22), kDisconnectedBlock);
  EXPECT_NE(LastMessage(device).find("(Error $C000009D)"), std::string::npos);
}

}  // namespace
