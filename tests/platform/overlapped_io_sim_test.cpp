// Overlapped reads of simulated HID devices, with the completion rules of Windows.
#include "testing/eventually.h"
#include "testing/scripted_endpoint.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using testing_support::Eventually;
using testing_support::Report;
using testing_support::ScriptedDevice;

const Report kReport{0x32, 1, 2, 3, 4, 5, 6, 7, 8};
constexpr DWORD kReportLength = 9;

class OverlappedRead : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_NE(event, nullptr);
    overlapped.hEvent = event;
  }
  void TearDown() override {
    CloseHandle(file);
    CloseHandle(event);
  }
  BOOL Start() { return ReadFile(file, buffer, kReportLength, nullptr, &overlapped); }
  bool Signalled() { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

  ScriptedDevice device;
  HANDLE file = device.Open();
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  OVERLAPPED overlapped{};
  uint8_t buffer[16] = {};
};

TEST_F(OverlappedRead, PendsUntilAReportCompletesIt) {
  ASSERT_FALSE(Start());
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(overlapped.Internal, STATUS_PENDING);
  EXPECT_EQ(device.Endpoint().PendingReadCount(), 1);
  DWORD transferred = 77;
  EXPECT_FALSE(GetOverlappedResult(file, &overlapped, &transferred, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  EXPECT_FALSE(Signalled());

  device.Endpoint().Send(kReport);
  EXPECT_EQ(overlapped.Internal, 0u);
  EXPECT_EQ(overlapped.InternalHigh, kReportLength);
  EXPECT_EQ(Report(buffer, buffer + kReportLength), kReport);
  EXPECT_TRUE(Signalled());
  EXPECT_TRUE(GetOverlappedResult(file, &overlapped, &transferred, FALSE));
  EXPECT_EQ(transferred, kReportLength);
  EXPECT_EQ(device.Endpoint().PendingReadCount(), 0);
}

TEST_F(OverlappedRead, QueuedReportCompletesAtOnceAndStillSignals) {
  device.Endpoint().Send(kReport);
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, buffer, kReportLength, &read, &overlapped));
  EXPECT_EQ(read, kReportLength);
  EXPECT_EQ(overlapped.Internal, 0u);
  EXPECT_TRUE(Signalled());
}

TEST_F(OverlappedRead, ReadFileResetsTheEvent) {
  SetEvent(event);
  ASSERT_FALSE(Start());
  EXPECT_FALSE(Signalled());
}

TEST_F(OverlappedRead, CancelIoCompletesTheCallersReadsOnly) {
  OVERLAPPED other{};
  HANDLE otherEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  other.hEvent = otherEvent;
  uint8_t otherBuffer[16];
  std::thread([&] { ReadFile(file, otherBuffer, kReportLength, nullptr, &other); }).join();
  ASSERT_FALSE(Start());
  EXPECT_EQ(device.Endpoint().PendingReadCount(), 2);

  EXPECT_TRUE(CancelIo(file));
  EXPECT_EQ(overlapped.Internal, sim::kStatusCancelled);
  EXPECT_TRUE(Signalled());
  DWORD transferred = 0;
  EXPECT_FALSE(GetOverlappedResult(file, &overlapped, &transferred, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(transferred, 0u);
  EXPECT_EQ(other.Internal, STATUS_PENDING) << "another thread's read goes on";

  device.Endpoint().Send(kReport);
  EXPECT_EQ(other.Internal, 0u);
  CloseHandle(otherEvent);
}

// CancelIoEx reaches another thread's read, by its record; one the system has no longer is not found.
TEST_F(OverlappedRead, CancelIoExCancelsTheReadWithThatRecordWhoeverStartedIt) {
  std::thread([&] { ASSERT_FALSE(Start()); }).join();
  OVERLAPPED unrelated{};
  EXPECT_FALSE(CancelIoEx(file, &unrelated));
  EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
  EXPECT_TRUE(CancelIoEx(file, &overlapped));
  EXPECT_EQ(overlapped.Internal, sim::kStatusCancelled);
  EXPECT_FALSE(CancelIoEx(file, nullptr)) << "nothing left to cancel";
  EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
}

// A slow cancel reaches the reads pending when it was asked for, never a read started later into
// the same record.
TEST_F(OverlappedRead, ASlowCancelSparesALaterReadOfTheSameRecord) {
  testing_support::VirtualClock clock;
  device.Endpoint().DelayCancellation(1'000'000);
  ASSERT_FALSE(Start());
  EXPECT_TRUE(CancelIo(file));
  device.Endpoint().Send(kReport);  // beats the cancel
  EXPECT_EQ(overlapped.Internal, 0u);
  ASSERT_FALSE(Start());
  posix::AdvanceClock(2'000'000);
  EXPECT_EQ(overlapped.Internal, STATUS_PENDING) << "the later read was cancelled";
  device.Endpoint().DelayCancellation(0);
  CancelIo(file);
}

TEST_F(OverlappedRead, GetOverlappedResultCanWaitForCompletion) {
  ASSERT_FALSE(Start());
  std::thread sender([&] {
    Eventually([&] { return device.Endpoint().PendingReadCount() == 1; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    device.Endpoint().Send(kReport);
  });
  DWORD transferred = 0;
  EXPECT_TRUE(GetOverlappedResult(file, &overlapped, &transferred, TRUE));
  EXPECT_EQ(transferred, kReportLength);
  sender.join();
}

TEST_F(OverlappedRead, WithoutAnEventGetOverlappedResultWaitsForTheRecord) {
  overlapped.hEvent = nullptr;
  ASSERT_FALSE(Start());
  std::thread sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    device.Endpoint().Send(kReport);
  });
  DWORD transferred = 0;
  EXPECT_TRUE(GetOverlappedResult(file, &overlapped, &transferred, TRUE));
  EXPECT_EQ(transferred, kReportLength);
  sender.join();
}

TEST_F(OverlappedRead, DisconnectFailsWaitingAndNewReads) {
  ASSERT_FALSE(Start());
  device.Endpoint().Fail(ERROR_GEN_FAILURE, 0xC0000001);
  EXPECT_EQ(overlapped.Internal, 0xC0000001u) << "the waiting read completes with the status";
  EXPECT_TRUE(Signalled());

  OVERLAPPED next{};
  next.hEvent = event;
  SetLastError(0);
  EXPECT_FALSE(ReadFile(file, buffer, kReportLength, nullptr, &next));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE) << "new reads fail at once with the error";
  EXPECT_EQ(device.Endpoint().PendingReadCount(), 0);

  device.Endpoint().Reconnect();
  EXPECT_FALSE(ReadFile(file, buffer, kReportLength, nullptr, &next));
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  CancelIo(file);  // before the record goes out of scope
}

TEST_F(OverlappedRead, ClosingTheFileCompletesItsReads) {
  ASSERT_FALSE(Start());
  HANDLE doomed = file;
  file = device.Open();
  CloseHandle(doomed);
  EXPECT_EQ(overlapped.Internal, sim::kStatusCancelled);
  EXPECT_EQ(device.Endpoint().OpenFileCount(), 1);
}

TEST(DeviceFiles, OpenFailures) {
  HANDLE none = CreateFileW(L"\\\\?\\hid#nothing-here", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  EXPECT_EQ(none, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  ScriptedDevice device;
  device.Endpoint().RefuseOpen(ERROR_ACCESS_DENIED);
  EXPECT_EQ(device.Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

}  // namespace
