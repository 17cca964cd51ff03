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
  OrxString address = DeviceSearch::BoardAddressText();
  // A host call that still held this device when CloseAll ran lets go of it only now: meanwhile
  // another thread may have opened the board again, and its pairing is that device's.
  if (DeviceSearch::IsBoardOpen(address)) return;
  RemoveBoardPairing(isBalanceBoard ? kBoardBluetoothName : kRemoteBluetoothName, address, CloseTimeLeft());
}

}  // namespace Kestrel
