// A HID device interface of the simulated world: what it says about itself, how it takes output
// reports, and the input reports it produces for whatever has it open. The faces turn an open
// device into a file the plug-in reads: the POSIX layer's device files, or a named pipe in a
// Windows process.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// {4D1E55B2-F16F-11CF-88CB-001111000030}, the interface class every HID device is listed under.
constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// A cancellation delay for a driver that never ends a cancelled read: it ends when its file closes.
constexpr uint64_t kNeverCancelled = UINT64_MAX;

// NTSTATUS values a failed or cancelled read completes with.
constexpr uint32_t kStatusCancelled = 0xC0000120;
constexpr uint32_t kStatusDeviceNotConnected = 0xC000009D;

// What HidD_GetAttributes and the HidD_Get*String functions report for a device.
struct HidIdentity {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
  std::wstring product;
  std::wstring manufacturer;
  std::wstring serialNumber;  // empty: the device has none
};

// One opening of a device, as a face keeps it.
class HidDeviceFile {
 public:
  virtual ~HidDeviceFile() = default;
  virtual void Deliver(const std::vector<uint8_t>& report) = 0;
  // Reads fail from now on: pending ones complete with this status.
  virtual void Fail(uint32_t completionStatus) = 0;
  virtual size_t PendingReads() { return 0; }
};

class HidDevice : public std::enable_shared_from_this<HidDevice> {
 public:
  virtual ~HidDevice() = default;

  void SetIdentity(const HidIdentity& identity);
  HidIdentity Identity() const;

  // An output report from HidD_SetOutputReport. Return false and set *error to fail the call.
  virtual bool OnOutputReport(const uint8_t* data, size_t length, DWORD* error) = 0;
  // Whether the device may be opened now (false: the open fails with *error).
  virtual bool CanOpen(DWORD* error) const {
    (void)error;
    return true;
  }

  // Delivers an input report to every open file on this device.
  void PushInputReport(const std::vector<uint8_t>& report);
  // From now on reads fail: new reads at once with readError, pending ones with
  // completionStatus. Reconnect() ends that.
  void Disconnect(DWORD readError = ERROR_DEVICE_NOT_CONNECTED, uint32_t completionStatus = kStatusDeviceNotConnected);
  void Reconnect();
  bool IsDisconnected() const;
  // True while disconnected, with the error a new read fails with.
  bool ReadFailure(DWORD* readError) const;
  // A driver slow to cancel: CancelIo returns at once, but the reads it cancels stay pending for
  // this long (0, the default: they end at once; kNeverCancelled: until the file closes).
  void DelayCancellation(uint64_t micros);
  uint64_t CancellationDelay() const;
  // A driver slow to write: every output report blocks its sender this long before it is sent,
  // as a Bluetooth write does while the link is being paged.
  void DelayWrites(uint64_t micros);
  uint64_t WriteDelay() const;

  void Attach(const std::shared_ptr<HidDeviceFile>& file);
  void Detach(const HidDeviceFile* file);
  int OpenFileCount() const;
  // Reads started on this device's files that have not completed yet.
  int PendingReadCount() const;

 private:
  std::vector<std::shared_ptr<HidDeviceFile>> OpenFiles() const;

  mutable std::mutex lock_;
  std::vector<std::weak_ptr<HidDeviceFile>> files_;
  bool disconnected_ = false;
  DWORD readError_ = 0;
  uint64_t cancellationDelay_ = 0;
  uint64_t writeDelay_ = 0;
  HidIdentity identity_;
};

// The HID device interfaces present now, by device path (compared without regard to case).
void RegisterHidDevice(const std::wstring& path, std::shared_ptr<HidDevice> device);
void UnregisterHidDevice(const std::wstring& path);
// The registered paths as they were spelled, in order of registration (the device list).
std::vector<std::wstring> RegisteredHidDevicePaths();
std::shared_ptr<HidDevice> FindHidDevice(const std::wstring& path);
// Told of every registration (with the device) and removal (with null), outside the directory's
// lock. One observer: the face that serves the devices.
void ObserveHidDirectory(std::function<void(const std::wstring& path, std::shared_ptr<HidDevice> device)> observer);

}  // namespace sim
