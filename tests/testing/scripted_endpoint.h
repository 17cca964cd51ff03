// A simulated HID device that a test scripts: input reports now or at a time on the clock,
// silence, and failures with a chosen error. Simulated world only (native tests).
#pragma once

#include "platform/posix/control.h"
#include "platform/posix/hid_endpoint.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

using Report = std::vector<uint8_t>;

class ScriptedEndpoint : public sim::HidDevice {
 public:
  ~ScriptedEndpoint() override { StopSending(); }

  bool OnOutputReport(const uint8_t* data, size_t length, DWORD* error) override {
    std::lock_guard<std::mutex> guard(lock_);
    outputReports_.emplace_back(data, data + length);
    if (outputError_ == 0) return true;
    *error = outputError_;
    return false;
  }
  bool CanOpen(DWORD* error) const override {
    std::lock_guard<std::mutex> guard(lock_);
    if (openError_ == 0) return true;
    *error = openError_;
    return false;
  }

  // Completes a waiting read (or queues the report for the next one), unless sending stopped.
  void Send(const Report& report) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (silent_) return;
    }
    PushInputReport(report);
  }
  void SendAt(uint64_t atMicros, Report report) {
    std::weak_ptr<ScriptedEndpoint> self = std::static_pointer_cast<ScriptedEndpoint>(shared_from_this());
    Schedule(atMicros, [self, report] {
      if (auto endpoint = self.lock()) endpoint->Send(report);
    });
  }
  void SendAfter(uint64_t delayMicros, Report report) { SendAt(posix::NowMicros() + delayMicros, std::move(report)); }

  // Nothing more arrives: scheduled reports are dropped and Send does nothing.
  void StopSending() {
    std::vector<posix::TimerId> timers;
    {
      std::lock_guard<std::mutex> guard(lock_);
      silent_ = true;
      timers.swap(timers_);
    }
    for (posix::TimerId id : timers) posix::CancelTimer(id);
  }
  void ResumeSending() {
    std::lock_guard<std::mutex> guard(lock_);
    silent_ = false;
  }

  // The device goes away: new reads fail at once with readError, waiting ones complete with
  // completionStatus.
  void Fail(DWORD readError = ERROR_DEVICE_NOT_CONNECTED,
            ULONG_PTR completionStatus = sim::kStatusDeviceNotConnected) {
    Disconnect(readError, completionStatus);
  }
  void FailAt(uint64_t atMicros, DWORD readError = ERROR_DEVICE_NOT_CONNECTED,
              ULONG_PTR completionStatus = sim::kStatusDeviceNotConnected) {
    std::weak_ptr<ScriptedEndpoint> self = std::static_pointer_cast<ScriptedEndpoint>(shared_from_this());
    Schedule(atMicros, [self, readError, completionStatus] {
      if (auto endpoint = self.lock()) endpoint->Fail(readError, completionStatus);
    });
  }

  void RefuseOpen(DWORD error) {
    std::lock_guard<std::mutex> guard(lock_);
    openError_ = error;
  }
  void FailOutputReports(DWORD error) {
    std::lock_guard<std::mutex> guard(lock_);
    outputError_ = error;
  }
  std::vector<Report> OutputReports() const {
    std::lock_guard<std::mutex> guard(lock_);
    return outputReports_;
  }

 private:
  template <typename Action>
  void Schedule(uint64_t atMicros, Action action) {
    posix::TimerId id = posix::ScheduleAt(atMicros, std::move(action));
    std::lock_guard<std::mutex> guard(lock_);
    timers_.push_back(id);
  }

  mutable std::mutex lock_;
  bool silent_ = false;
  std::vector<posix::TimerId> timers_;
  std::vector<Report> outputReports_;
  DWORD openError_ = 0;
  DWORD outputError_ = 0;
};

// An endpoint registered under a device path for the life of this object.
class ScriptedDevice {
 public:
  explicit ScriptedDevice(std::wstring devicePath = NextPath())
      : path_(std::move(devicePath)), endpoint_(std::make_shared<ScriptedEndpoint>()) {
    sim::RegisterHidDevice(path_, endpoint_);
  }
  ~ScriptedDevice() {
    endpoint_->StopSending();
    sim::UnregisterHidDevice(path_);
  }
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  // Opened as the device search opens a HID device.
  HANDLE Open() const {
    return CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  }
  ScriptedEndpoint& Endpoint() const { return *endpoint_; }
  const std::wstring& Path() const { return path_; }

 private:
  static std::wstring NextPath() {
    static std::atomic<int> next{0};
    return L"\\\\?\\hid#scripted#" + std::to_wstring(++next);
  }

  std::wstring path_;
  std::shared_ptr<ScriptedEndpoint> endpoint_;
};

// The virtual clock for the life of this object.
class VirtualClock {
 public:
  VirtualClock() { posix::UseVirtualClock(true); }
  ~VirtualClock() { posix::UseVirtualClock(false); }
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;
};

}  // namespace testing_support
