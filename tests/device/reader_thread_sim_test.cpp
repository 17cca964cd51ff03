// The reader thread and the single report read, over a scripted HID device.
#include "testing/eventually.h"
#include "testing/fake_device.h"
#include "testing/scripted_endpoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using testing_support::Eventually;
using testing_support::FakeDevice;
using testing_support::FrameReport;
using testing_support::ScriptedDevice;
using testing_support::VirtualClock;

constexpr uint64_t kMs = 1000;

class ReaderThread : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(handle, INVALID_HANDLE_VALUE); }

  void StartAndWaitForTheRead() {
    ASSERT_TRUE(device->Initialise());
    ASSERT_TRUE(Eventually([&] { return sim.Endpoint().PendingReadCount() == 1; }));
  }
  void StartSampling() { device->WriteBuffer(">in/sampler/start\n", 18, 0); }

  ScriptedDevice sim;
  HANDLE handle = sim.Open();
  std::unique_ptr<FakeDevice> device = std::make_unique<FakeDevice>(handle, L"Board", L"1");
};

TEST_F(ReaderThread, ReportsReachTheDeviceAndWakeTheHost) {
  StartAndWaitForTheRead();
  EXPECT_EQ(device->ReaderPriority(), THREAD_PRIORITY_ABOVE_NORMAL);
  StartSampling();
  sim.Endpoint().Send(FrameReport({0x0102, 0x0304, 0x0506, 0x0708}));
  char block[64];
  int size = sizeof block;
  ASSERT_TRUE(device->ReadBuffer(block, &size, 2000));
  EXPECT_EQ(std::string(block, static_cast<size_t>(size)), "@\x01\x02\x03\x04\x05\x06\x07\x08");
}

TEST_F(ReaderThread, SilenceRestartsTheReadEvery500msWithoutAnyFlag) {
  VirtualClock clock;
  StartAndWaitForTheRead();
  uint64_t start = posix::NowMicros();
  // Only the reader waits, so the virtual clock runs ahead by itself.
  ASSERT_TRUE(Eventually([&] { return posix::NowMicros() >= start + 5000 * kMs; }, 20000));
  // The clock keeps running while we look: bracket the count between two readings of it.
  uint64_t before = posix::NowMicros() - start;
  int started = device->readsStarted.load();
  uint64_t after = posix::NowMicros() - start;
  EXPECT_GE(started, static_cast<int>(before / (500 * kMs)) - 1);
  EXPECT_LE(started, static_cast<int>(after / (500 * kMs)) + 2);
  EXPECT_EQ(device->reports.load(), 0);
  EXPECT_EQ(device->readErrors.load(), 0);
  EXPECT_FALSE(device->IsDisconnected());
  EXPECT_FALSE(device->IsFailed());
  EXPECT_FALSE(device->WaitForData(0));
  EXPECT_EQ(device->WaitForReaderEnd(0), static_cast<DWORD>(WAIT_TIMEOUT));

  ASSERT_TRUE(Eventually([&] { return sim.Endpoint().PendingReadCount() == 1; }));
  sim.Endpoint().Send(FrameReport({1, 2, 3, 4}));
  EXPECT_TRUE(Eventually([&] { return device->reports.load() == 1; })) << "still reading";
}

TEST_F(ReaderThread, StopDuringAWaitEndsItAtOnce) {
  StartAndWaitForTheRead();
  auto before = std::chrono::steady_clock::now();
  device->StopReader();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(400)) << "not at the time-out";
  // The reader's last step signals the stop wait; its return to the system follows.
  EXPECT_EQ(device->WaitForReaderEnd(1000), WAIT_OBJECT_0);
  EXPECT_TRUE(device->IsDisconnected());
  EXPECT_EQ(device->readErrors.load(), 0);
  EXPECT_FALSE(device->IsFailed());
  EXPECT_EQ(sim.Endpoint().PendingReadCount(), 0) << "the read was cancelled";
}

TEST_F(ReaderThread, DeclinedReportSetsNoDataEvent) {
  StartAndWaitForTheRead();
  sim.Endpoint().Send(FrameReport({1, 2, 3, 4}));  // not sampling: the device declines it
  ASSERT_TRUE(Eventually([&] { return device->readsStarted.load() == 2; })) << "the reader went on";
  EXPECT_EQ(device->reports.load(), 1);
  EXPECT_FALSE(device->WaitForData(0));

  StartSampling();
  sim.Endpoint().Send(FrameReport({1, 2, 3, 4}));
  EXPECT_TRUE(device->WaitForData(2000));
}

TEST_F(ReaderThread, ReadFailingLaterReportsTheCompletionStatus) {
  StartAndWaitForTheRead();
  sim.Endpoint().Fail(ERROR_GEN_FAILURE, 0xC0000001);
  ASSERT_EQ(device->WaitForReaderEnd(2000), WAIT_OBJECT_0);
  EXPECT_TRUE(device->IsDisconnected());
  EXPECT_EQ(device->readErrors.load(), 1);
  EXPECT_EQ(device->readErrorCode.load(), 0xC0000001u);
  EXPECT_EQ(device->ReaderExitCode(), 0xC0000001u);
  EXPECT_FALSE(device->IsFailed()) << "failed waits until the host is told";
}

TEST_F(ReaderThread, ReadFailingAtOnceReportsTheSystemError) {
  sim.Endpoint().Fail();
  ASSERT_TRUE(device->Initialise());
  ASSERT_EQ(device->WaitForReaderEnd(2000), WAIT_OBJECT_0);
  EXPECT_EQ(device->readErrorCode.load(), static_cast<uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_NE(device->LastErrorText().Utf8(), std::string());
}

TEST_F(ReaderThread, DestroyingTheDeviceLeavesNoHandleOrThread) {
  device.reset();  // the fixture's own handle
  int handles = posix::LiveHandleCount();
  int threads = posix::LiveThreadCount();
  device = std::make_unique<FakeDevice>(sim.Open(), L"Board", L"1");
  StartAndWaitForTheRead();
  sim.Endpoint().Send(FrameReport({1, 2, 3, 4}));
  auto before = std::chrono::steady_clock::now();
  device.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(400));
  EXPECT_EQ(posix::LiveHandleCount(), handles);
  EXPECT_TRUE(Eventually([&] { return posix::LiveThreadCount() == threads; }));
  EXPECT_EQ(sim.Endpoint().OpenFileCount(), 0);
}

// A driver slow to cancel, or one that ends a cancelled read only when its file closes: the close
// returns within 2 s, and the read ends later into memory of its own, never into a stack that has
// returned (AddressSanitizer watches for that).
TEST_F(ReaderThread, CloseReturnsWithinTwoSecondsWhenTheReadWillNotCancelAndTheReaderCleansUpLater) {
  VirtualClock clock;
  device.reset();
  int handles = posix::LiveHandleCount();
  int threads = posix::LiveThreadCount();
  for (uint64_t delay : {2500 * kMs, 5000 * kMs, sim::kNeverCancelled}) {
    SCOPED_TRACE(delay);
    device = std::make_unique<FakeDevice>(sim.Open(), L"Board", L"1");
    StartAndWaitForTheRead();
    sim.Endpoint().DelayCancellation(delay);
    uint64_t start = posix::NowMicros();
    device.reset();
    EXPECT_LT(posix::NowMicros() - start, 2000 * kMs);
    EXPECT_TRUE(Eventually([&] { return posix::LiveThreadCount() == threads; }, 20000)) << "the reader never ended";
    EXPECT_EQ(posix::LiveHandleCount(), handles) << "the last share closes the handles";
    EXPECT_TRUE(Eventually([&] { return sim.Endpoint().OpenFileCount() == 0; }));
    sim.Endpoint().DelayCancellation(0);
  }
}

class ReadInputReport : public ReaderThread {
 protected:
  uint32_t Read(int* length) { return device->ReadReport(buffer, length); }
  uint8_t buffer[64];
  VirtualClock clock;
};

TEST_F(ReadInputReport, NothingSentGives258AfterHalfASecond) {
  uint64_t start = posix::NowMicros();
  int length = 9;
  EXPECT_EQ(Read(&length), 258u);
  EXPECT_EQ(length, 0);
  uint64_t waited = posix::NowMicros() - start;
  EXPECT_GE(waited, 500 * kMs);
  EXPECT_LT(waited, 600 * kMs);
  EXPECT_EQ(sim.Endpoint().PendingReadCount(), 0) << "the read was cancelled";
}

TEST_F(ReadInputReport, ReportsNowOrLater) {
  sim.Endpoint().Send(FrameReport({1, 2, 3, 4}));
  int length = 9;
  EXPECT_EQ(Read(&length), 0u);
  EXPECT_EQ(length, 9);
  EXPECT_EQ(buffer[2], 1);

  uint64_t start = posix::NowMicros();
  sim.Endpoint().SendAfter(200 * kMs, FrameReport({5, 6, 7, 8}));
  length = 20;
  EXPECT_EQ(Read(&length), 0u);
  EXPECT_EQ(length, 9);
  EXPECT_EQ(buffer[8], 8);
  EXPECT_EQ(buffer[9], 0) << "the rest of the buffer was cleared";
  EXPECT_EQ(posix::NowMicros() - start, 200 * kMs);
}

TEST_F(ReadInputReport, FailuresGiveTheirCodes) {
  sim.Endpoint().FailAt(posix::NowMicros() + 100 * kMs);
  int length = 9;
  EXPECT_EQ(Read(&length), sim::kStatusDeviceNotConnected);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(Read(&length), static_cast<uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(device->IsFailed());
}

}  // namespace
