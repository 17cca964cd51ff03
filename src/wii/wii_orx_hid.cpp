#include "wii/wii_orx_hid.h"

#include "discovery/device_search.h"
#include "wii/bluetooth_pairing.h"

namespace Kestrel {

WiiOrxHID::WiiOrxHID(HANDLE hid, const OrxString& deviceName, const OrxString& serial)
    : DevOrxHID(hid, deviceName, serial) {}

WiiOrxHID::~WiiOrxHID() {
  CloseDevice();
  if (!KeepPaired()) RemovePairingOnClose();
}

void WiiOrxHID::RemovePairingOnClose() {
  // The address is the one the last successful Bluetooth search found, not this device's serial.
  RemoveBoardPairing(isBalanceBoard ? kBoardBluetoothName : kRemoteBluetoothName, DeviceSearch::BoardAddressText(),
                     CloseTimeLeft());
}

}  // namespace Kestrel
