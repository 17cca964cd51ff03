// Input reports on both faces of the simulated world, the same test natively (the POSIX layer's
// device files) and under Wine (the stand-ins' device pipes): a handle keeps reports as Windows'
// HID class driver does, and a handle nobody reads holds up no other.
#include "platform/win32.h"
#include "sim/hid_device.h"
#include "sim/system_api/api_handles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kReportLength = 22;
constexpr size_t kKeptReports = 32;  // Windows' default ring of input reports per handle
constexpr DWORD kReadWaitMs = 500;
constexpr DWORD kSettleMs = 200;  // for the pipes' writer threads to hand over or drop

class NumberedDevice : public sim::HidDevice {
 public:
  bool OnOutputReport(const uint8_t*, size_t, DWORD*) override { return true; }
  void Send(int number) {
    std::vector<uint8_t> report(kReportLength, 0);
    report[0] = 0x32;
    report[1] = static_cast<uint8_t>(number);
    PushInputReport(report);
  }
};

// A device of the world with one open handle, read the way the plug-in reads a HID device.
class OpenDevice {
 public:
  explicit OpenDevice(const std::wstring& path) : path_(path), device(std::make_shared<NumberedDevice>()) {
    sim::RegisterHidDevice(path_, device);
    file_ = CreateFileW(sim::OpenablePathOf(path_).c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // A pipe's server attaches the connection a moment after the open.
    for (int i = 0; i < 100 && device->OpenFileCount() == 0; ++i) Sleep(10);
  }
  ~OpenDevice() {
    CloseHandle(event_);
    CloseHandle(file_);
    sim::UnregisterHidDevice(path_);
  }
  bool Opened() const { return file_ != INVALID_HANDLE_VALUE && device->OpenFileCount() == 1; }

  // The number of the next report, or -1 when none came within the wait.
  int Read() {
    uint8_t buffer[kReportLength] = {0};
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event_;
    DWORD bytes = 0;
    if (!ReadFile(file_, buffer, sizeof buffer, &bytes, &overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) return -1;
      if (WaitForSingleObject(event_, kReadWaitMs) != WAIT_OBJECT_0) {
        CancelIo(file_);
        GetOverlappedResult(file_, &overlapped, &bytes, TRUE);
        return -1;
      }
      if (!GetOverlappedResult(file_, &overlapped, &bytes, FALSE)) return -1;
    }
    return buffer[1];
  }

 private:
  std::wstring path_;

 public:
  std::shared_ptr<NumberedDevice> device;

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
};

TEST(InputReports, AHandleNobodyReadsKeepsTheNewestAndHoldsUpNoOtherHandle) {
  OpenDevice stalled(L"\\\\?\\hid#faces_test&stalled#1"), other(L"\\\\?\\hid#faces_test&other#1");
  ASSERT_TRUE(stalled.Opened() && other.Opened());

  auto started = std::chrono::steady_clock::now();
  const int sent = 100;
  for (int n = 1; n <= sent; ++n) stalled.device->Send(n);
  other.device->Send(1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500))
      << "delivering to a handle nobody reads waits for nobody";
  EXPECT_EQ(other.Read(), 1);

  Sleep(kSettleMs);
  std::vector<int> kept;
  for (int n = stalled.Read(); n >= 0; n = stalled.Read()) kept.push_back(n);
  std::vector<int> newest;
  for (int n = sent - static_cast<int>(kKeptReports) + 1; n <= sent; ++n) newest.push_back(n);
  EXPECT_EQ(kept, newest) << "the ring keeps the newest reports; the oldest go";
}

}  // namespace
