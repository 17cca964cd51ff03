#include "discovery/bluetooth_search.h"

#include "discovery/device_search.h"
#include "wii/bluetooth_pairing.h"

#include <cstring>
#include <cwchar>
#include <map>

namespace DeviceSearch {

namespace {

using namespace Kestrel;

constexpr DWORD kSearchForMs = 5000;
constexpr UCHAR kPairingSearchMultiplier = 2;
constexpr UCHAR kRememberedSearchMultiplier = 1;
constexpr ULONG kBoardClassOfDevice = 0x2504;

bool IsBoardName(const BLUETOOTH_DEVICE_INFO& device) { return std::wcscmp(device.szName, kBoardBluetoothName) == 0; }

// A host that records from several boards searches once for each: a board it holds open already
// is passed over, or every search would name the first board sighted and never find a second.
bool IsBoardToSettleOn(const BLUETOOTH_DEVICE_INFO& device) {
  return IsBoardName(device) && !DeviceSearch::IsBoardOpen(FormatBluetoothAddress(device.Address.ullLong));
}

bool ReadRadioInfo(HANDLE radio, BLUETOOTH_RADIO_INFO& info) {
  std::memset(&info, 0, sizeof info);
  info.dwSize = sizeof info;
  return BluetoothGetRadioInfo(radio, &info) == ERROR_SUCCESS;
}

// Pairing as the search does it: the passkey only, then the services, then HID.
bool PairNewBoard(HANDLE radio, BLUETOOTH_DEVICE_INFO& device, const BLUETOOTH_ADDRESS& radioAddress) {
  DWORD count = 0;
  return AuthenticateWithPasskey(radio, device, radioAddress) == ERROR_SUCCESS &&
         ListInstalledServices(radio, device, kServiceRoomForSearch, count) == ERROR_SUCCESS &&
         EnableHidService(radio, device) == ERROR_SUCCESS;
}

// When each remembered board was last seen, before this search's inquiries: a board they see gets
// a later time. Read without an inquiry. Microsoft does not say in which zone the time is; only
// whether it moved counts.
using Sightings = std::map<uint64_t, SYSTEMTIME>;
Sightings RememberedBoardSightings(const RadioList& radios) {
  Sightings sightings;
  for (HANDLE radio : radios.Handles()) {
    BLUETOOTH_DEVICE_INFO device = NewDeviceRecord();
    DeviceSearchHandle listing(radio, kListRemembered, device);
    if (!listing.Started()) continue;
    do {
      if (IsBoardName(device) && device.fRemembered) sightings[device.Address.ullLong] = device.stLastSeen;
    } while (listing.Next(device));
  }
  return sightings;
}

bool SeenSinceListing(const BLUETOOTH_DEVICE_INFO& device, const Sightings& before) {
  auto listed = before.find(device.Address.ullLong);
  return listed != before.end() && std::memcmp(&listed->second, &device.stLastSeen, sizeof device.stLastSeen) != 0;
}

}  // namespace

bool SearchAndPairBoards(BoardSighting& sighting) {
  RadioList radios;
  if (radios.IsEmpty()) return false;
  int paired = 0;
  const Sightings before = RememberedBoardSightings(radios);
  DWORD start = GetTickCount();
  while (GetTickCount() - start < kSearchForMs && !Stopped()) {
    for (HANDLE radio : radios.Handles()) {
      BLUETOOTH_RADIO_INFO radioInfo;
      ReadRadioInfo(radio, radioInfo);
      BLUETOOTH_DEVICE_INFO device = NewDeviceRecord();
      DeviceSearchHandle search(radio, kPairingSearchMultiplier, device);
      if (!search.Started()) {
        if (search.StartError() == ERROR_NO_MORE_ITEMS) continue;
        return false;
      }
      do {
        if (!IsBoardToSettleOn(device)) continue;
        sighting.addressText = FormatBluetoothAddress(device.Address.ullLong);
        if (device.fRemembered) {
          sighting.seenUnconnected = !device.fConnected && SeenSinceListing(device, before);
          return true;
        }
        if (PairNewBoard(radio, device, radioInfo.address)) ++paired;
      } while (search.Next(device));
    }
    if (!Pause(kPairingSettleMs) || paired > 0) break;
  }
  sighting.serviceEnabled = paired > 0;
  return paired > 0;
}

bool FindRememberedBoard(BoardSighting& sighting, bool& radioMissing) {
  RadioList radios;
  if (radios.IsEmpty()) {
    radioMissing = true;
    return false;
  }
  bool outcome = false;
  for (HANDLE radio : radios.Handles()) {
    BLUETOOTH_RADIO_INFO radioInfo;
    if (!ReadRadioInfo(radio, radioInfo)) continue;
    outcome = false;
    BLUETOOTH_DEVICE_INFO device = NewDeviceRecord();
    DeviceSearchHandle search(radio, kRememberedSearchMultiplier, device);
    if (!search.Started()) continue;
    do {
      if (device.ulClassofDevice != kBoardClassOfDevice || !IsBoardToSettleOn(device)) continue;
      sighting.addressText = FormatBluetoothAddress(device.Address.ullLong);
      if (!device.fAuthenticated) {
        outcome = PairBoard(device, radio, radioInfo.address);
        sighting.serviceEnabled = sighting.serviceEnabled || outcome;
      } else if (device.fConnected) {
        DWORD count = 0;
        if (ListInstalledServices(radio, device, kServiceRoomForPairBoard, count) != ERROR_SUCCESS) {
          outcome = false;
          break;
        }
        if (count > 0) {
          outcome = true;
        } else if (EnableHidService(radio, device) != ERROR_SUCCESS) {
          outcome = false;
          break;
        } else {
          Pause(kPairingSettleMs);
          outcome = sighting.serviceEnabled = true;
        }
      }
    } while (search.Next(device));
  }
  return outcome;
}

}  // namespace DeviceSearch
