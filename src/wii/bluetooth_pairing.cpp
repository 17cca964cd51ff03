#include "wii/bluetooth_pairing.h"

#include "discovery/device_search.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace Kestrel {

namespace {

constexpr int kPasskeyLength = 6;
constexpr UCHAR kPairAgainSearchMultiplier = 2;
// The system may take a moment to forget a board whose removal failed. One look after the settling
// pause: a removal that keeps failing would otherwise hold up the close pass after pass.
constexpr int kMaxWaitingPasses = 1;
const GUID kHidServiceClassId = {0x00001124, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};

bool IsBoard(const BLUETOOTH_DEVICE_INFO& device, const wchar_t* name, const OrxString& addressText) {
  return std::wcscmp(device.szName, name) == 0 && FormatBluetoothAddress(device.Address.ullLong) == addressText &&
         device.fRemembered;
}

enum class Pass { kRemove, kLook, kPairAgain };
enum class Outcome { kFound, kListed, kNotFound, kSearchFailed };

// One search over every radio: the removal pass removes the board (found: removed; listed: it is
// there but would not go), the look pass only looks for it (found: still listed), the pairing pass
// pairs it again (found: paired). A removal or a look needs no inquiry: the system lists the
// boards it remembers at once, which are the only ones it can forget.
Outcome SearchRadios(const RadioList& radios, const wchar_t* name, const OrxString& addressText, Pass pass) {
  bool listed = false;
  for (HANDLE radio : radios.Handles()) {
    BLUETOOTH_RADIO_INFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    BluetoothGetRadioInfo(radio, &info);
    BLUETOOTH_DEVICE_INFO device = NewDeviceRecord();
    DeviceSearchHandle search(radio, pass == Pass::kPairAgain ? kPairAgainSearchMultiplier : kListRemembered, device);
    if (!search.Started()) {
      if (search.StartError() == ERROR_NO_MORE_ITEMS) continue;
      return Outcome::kSearchFailed;
    }
    do {
      if (!IsBoard(device, name, addressText)) continue;
      if (pass == Pass::kLook) return Outcome::kFound;
      if (pass == Pass::kPairAgain) return PairBoard(device, radio, info.address) ? Outcome::kFound : Outcome::kNotFound;
      if (BluetoothRemoveDevice(&device.Address) == ERROR_SUCCESS) return Outcome::kFound;
      listed = true;
    } while (search.Next(device));
  }
  return listed ? Outcome::kListed : Outcome::kNotFound;
}

}  // namespace

RadioList::RadioList() {
  BLUETOOTH_FIND_RADIO_PARAMS params;
  params.dwSize = sizeof params;
  HANDLE radio = nullptr;
  HBLUETOOTH_RADIO_FIND find = BluetoothFindFirstRadio(&params, &radio);
  // Without a radio nothing else of the Bluetooth API is called: where the API is a stub,
  // the other functions end the process.
  if (!find) return;
  do {
    if (radios_.size() < kMaxRadios)
      radios_.push_back(radio);
    else
      CloseHandle(radio);
  } while (BluetoothFindNextRadio(find, &radio));
  BluetoothFindRadioClose(find);
}

RadioList::~RadioList() {
  for (HANDLE radio : radios_) CloseHandle(radio);
}

DeviceSearchHandle::DeviceSearchHandle(HANDLE radio, UCHAR timeoutMultiplier, BLUETOOTH_DEVICE_INFO& first) {
  BLUETOOTH_DEVICE_SEARCH_PARAMS params;
  std::memset(&params, 0, sizeof params);
  params.dwSize = sizeof params;
  params.fReturnAuthenticated = TRUE;
  params.fReturnRemembered = TRUE;
  params.fReturnUnknown = TRUE;
  params.fReturnConnected = TRUE;
  params.fIssueInquiry = timeoutMultiplier != kListRemembered;
  params.cTimeoutMultiplier = timeoutMultiplier;
  params.hRadio = radio;
  find_ = BluetoothFindFirstDevice(&params, &first);
  if (!find_) startError_ = GetLastError();
}

DeviceSearchHandle::~DeviceSearchHandle() {
  if (find_) BluetoothFindDeviceClose(find_);
}

bool DeviceSearchHandle::Next(BLUETOOTH_DEVICE_INFO& device) { return find_ && BluetoothFindNextDevice(find_, &device); }

BLUETOOTH_DEVICE_INFO NewDeviceRecord() {
  BLUETOOTH_DEVICE_INFO device;
  std::memset(&device, 0, sizeof device);
  device.dwSize = sizeof device;
  return device;
}

OrxString FormatBluetoothAddress(uint64_t address) {
  char text[32];
  std::snprintf(text, sizeof text, "%08llx", static_cast<unsigned long long>(address));
  return OrxString(text);
}

DWORD AuthenticateWithPasskey(HANDLE radio, BLUETOOTH_DEVICE_INFO& device, const BLUETOOTH_ADDRESS& radioAddress) {
  // The Wii family's passkey: the radio's address, least significant byte first, one byte a character.
  WCHAR passkey[kPasskeyLength];
  for (int i = 0; i < kPasskeyLength; ++i) passkey[i] = static_cast<WCHAR>(radioAddress.rgBytes[i]);
  return BluetoothAuthenticateDevice(nullptr, radio, &device, passkey, kPasskeyLength);
}

DWORD AuthenticateWithoutPasskey(HANDLE radio, BLUETOOTH_DEVICE_INFO& device) {
  return BluetoothAuthenticateDevice(nullptr, radio, &device, nullptr, 0);
}

DWORD ListInstalledServices(HANDLE radio, BLUETOOTH_DEVICE_INFO& device, DWORD room, DWORD& count) {
  GUID services[kServiceRoomForSearch];
  count = room < kServiceRoomForSearch ? room : kServiceRoomForSearch;
  return BluetoothEnumerateInstalledServices(radio, &device, &count, services);
}

DWORD EnableHidService(HANDLE radio, BLUETOOTH_DEVICE_INFO& device) {
  GUID service = kHidServiceClassId;
  return BluetoothSetServiceState(radio, &device, &service, BLUETOOTH_SERVICE_ENABLE);
}

bool PairBoard(BLUETOOTH_DEVICE_INFO& device, HANDLE radio, const BLUETOOTH_ADDRESS& radioAddress) {
  if ((device.fRemembered || device.fAuthenticated) && BluetoothRemoveDevice(&device.Address) != ERROR_SUCCESS)
    return false;
  if (AuthenticateWithPasskey(radio, device, radioAddress) != ERROR_SUCCESS &&
      AuthenticateWithoutPasskey(radio, device) != ERROR_SUCCESS)
    return false;
  DWORD count = 0;
  if (ListInstalledServices(radio, device, kServiceRoomForPairBoard, count) != ERROR_SUCCESS) return false;
  if (EnableHidService(radio, device) != ERROR_SUCCESS) return false;
  DeviceSearch::Pause(kPairingSettleMs);  // a close that holds the search cuts it short
  return true;
}

void RemoveBoardPairing(const wchar_t* deviceName, const OrxString& addressText, DWORD waitLimitMs) {
  // The limit is what the close has left now: the removal itself spends it too (a system may end
  // the link first).
  const DWORD started = GetTickCount();
  RadioList radios;
  if (radios.IsEmpty()) return;
  // Nothing listed, nothing to wait for: only a removal that failed is looked at again.
  if (SearchRadios(radios, deviceName, addressText, Pass::kRemove) != Outcome::kListed) return;
  for (int pass = 0; pass < kMaxWaitingPasses; ++pass) {
    if (GetTickCount() - started + kPairingSettleMs > waitLimitMs) return;
    Sleep(kPairingSettleMs);
    if (SearchRadios(radios, deviceName, addressText, Pass::kLook) != Outcome::kFound) return;
  }
}

bool PairBoardAgain(const OrxString& addressText) {
  RadioList radios;
  return !radios.IsEmpty() &&
         SearchRadios(radios, kBoardBluetoothName, addressText, Pass::kPairAgain) == Outcome::kFound;
}

}  // namespace Kestrel
