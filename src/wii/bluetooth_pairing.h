// Pairing a board with the computer's Bluetooth radio, enabling its HID service, and removing
// the pairing again. Every failure is silent: the search decides what the host is told.
#pragma once

#include "platform/win32.h"
#include "support/orx_string.h"

#include <cstdint>
#include <vector>

namespace Kestrel {

constexpr wchar_t kBoardBluetoothName[] = L"Nintendo RVL-WBC-01";
constexpr wchar_t kRemoteBluetoothName[] = L"Nintendo RVL-CNT-01";
constexpr DWORD kPairingSettleMs = 1000;
constexpr DWORD kServiceRoomForPairBoard = 4;
constexpr DWORD kServiceRoomForSearch = 16;
constexpr size_t kMaxRadios = 256;

// The radios of the computer, found at once and closed when this goes.
class RadioList {
 public:
  RadioList();
  ~RadioList();
  RadioList(const RadioList&) = delete;
  RadioList& operator=(const RadioList&) = delete;
  const std::vector<HANDLE>& Handles() const { return radios_; }
  bool IsEmpty() const { return radios_.empty(); }

 private:
  std::vector<HANDLE> radios_;
};

// A device search on one radio; closed when this goes. A multiplier of 0 issues no inquiry: the
// devices the system remembers are listed at once, in range or not.
class DeviceSearchHandle {
 public:
  DeviceSearchHandle(HANDLE radio, UCHAR timeoutMultiplier, BLUETOOTH_DEVICE_INFO& first);
  ~DeviceSearchHandle();
  DeviceSearchHandle(const DeviceSearchHandle&) = delete;
  DeviceSearchHandle& operator=(const DeviceSearchHandle&) = delete;
  bool Started() const { return find_ != nullptr; }
  DWORD StartError() const { return startError_; }
  bool Next(BLUETOOTH_DEVICE_INFO& device);

 private:
  HBLUETOOTH_DEVICE_FIND find_ = nullptr;
  DWORD startError_ = 0;
};

BLUETOOTH_DEVICE_INFO NewDeviceRecord();
// The board address as the search writes it: lower-case hexadecimal, at least eight digits.
OrxString FormatBluetoothAddress(uint64_t address);

DWORD AuthenticateWithPasskey(HANDLE radio, BLUETOOTH_DEVICE_INFO& device, const BLUETOOTH_ADDRESS& radioAddress);
DWORD AuthenticateWithoutPasskey(HANDLE radio, BLUETOOTH_DEVICE_INFO& device);
// Lists the installed services into room places; count receives how many there are.
DWORD ListInstalledServices(HANDLE radio, BLUETOOTH_DEVICE_INFO& device, DWORD room, DWORD& count);
DWORD EnableHidService(HANDLE radio, BLUETOOTH_DEVICE_INFO& device);

// Pairs a board that is not authenticated and enables its HID service.
bool PairBoard(BLUETOOTH_DEVICE_INFO& device, HANDLE radio, const BLUETOOTH_ADDRESS& radioAddress);
// Removes the pairing of the board with this name and address text, if the system has it. A
// removal that failed is looked at again after a pause, if waitLimitMs leaves time for it.
void RemoveBoardPairing(const wchar_t* deviceName, const OrxString& addressText, DWORD waitLimitMs);
// Removes the pairing of the remembered board with this address text and pairs it again, as
// PairBoard does; true when it is paired with its HID service on.
bool PairBoardAgain(const OrxString& addressText);

constexpr UCHAR kListRemembered = 0;  // the timeout multiplier of a listing without an inquiry

}  // namespace Kestrel
