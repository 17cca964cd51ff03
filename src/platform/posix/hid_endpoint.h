// A HID device interface of the simulated world, as files opened on its path see it.
//
// The world (a simulated board, or a test) derives from HidEndpoint to answer output reports,
// and calls PushInputReport and Disconnect to produce what ReadFile returns. Reads complete as a
// Windows HID driver completes them: at once when a report is queued, otherwise pending until
// the next report, a cancellation or a failure.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace posix {

class DeviceFile;

// NTSTATUS values a completed read can carry in OVERLAPPED::Internal.
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;
constexpr ULONG_PTR kStatusDeviceNotConnected = 0xC000009D;

// What HidD_GetAttributes and the HidD_Get*String functions report for a device.
struct HidIdentity {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
  std::wstring product;
  std::wstring manufacturer;
  std::wstring serialNumber;  // empty: the device has none
};

class HidEndpoint : public std::enable_shared_from_this<HidEndpoint> {
 public:
  virtual ~HidEndpoint() = default;

  void SetIdentity(const HidIdentity& identity) {
    std::lock_guard<std::mutex> guard(lock_);
    identity_ = identity;
  }
  HidIdentity Identity() const {
    std::lock_guard<std::mutex> guard(lock_);
    return identity_;
  }

  // An output report from HidD_SetOutputReport or WriteFile. Return false and set *error to
  // fail the call.
  virtual bool OnOutputReport(const uint8_t* data, size_t length, DWORD* error) = 0;
  // Whether CreateFileW may open the device now (false: the open fails with *error).
  virtual bool CanOpen(DWORD* error) const {
    (void)error;
    return true;
  }

  // Delivers an input report to every open file on this device.
  void PushInputReport(const std::vector<uint8_t>& report);
  // From now on reads fail: new reads at once with readError, pending ones with
  // completionStatus. Reconnect() ends that.
  void Disconnect(DWORD readError = ERROR_DEVICE_NOT_CONNECTED,
                  ULONG_PTR completionStatus = kStatusDeviceNotConnected);
  void Reconnect();
  bool IsDisconnected() const;
  // A driver slow to cancel: CancelIo returns at once, but the reads it cancels stay pending for
  // this long (0, the default: they end at once).
  void DelayCancellation(uint64_t micros);
  uint64_t CancellationDelay() const;
  int OpenFileCount() const;
  // Reads started on this device's files that have not completed yet.
  int PendingReadCount() const;

 private:
  friend class DeviceFile;
  void Attach(const std::shared_ptr<DeviceFile>& file);
  void Detach(const DeviceFile* file);
  std::vector<std::shared_ptr<DeviceFile>> OpenFiles() const;
  bool ReadFailure(DWORD* readError) const;  // true while disconnected

  mutable std::mutex lock_;
  std::vector<std::weak_ptr<DeviceFile>> files_;
  bool disconnected = false;
  DWORD readError_ = 0;
  ULONG_PTR completionStatus_ = 0;
  uint64_t cancellationDelay_ = 0;
  HidIdentity identity_;
};

// The simulated world's device paths, as CreateFileW finds them.
void RegisterHidDevice(const std::wstring& path, std::shared_ptr<HidEndpoint> endpoint);
void UnregisterHidDevice(const std::wstring& path);
// The registered paths as they were spelled, in order of registration (the device list).
std::vector<std::wstring> RegisteredHidDevicePaths();
// The endpoint behind an open device handle, or null.
std::shared_ptr<HidEndpoint> EndpointOf(HANDLE file);

}  // namespace posix
