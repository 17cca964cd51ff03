#include "wii/wii_orx_hid.h"

namespace Kestrel {

WiiOrxHID::WiiOrxHID(HANDLE hid, const OrxString& deviceName, const OrxString& serial)
    : DevOrxHID(hid, deviceName, serial) {}

WiiOrxHID::~WiiOrxHID() {
  CloseDevice();
  if (!KeepPaired()) RemovePairingOnClose();
}

void WiiOrxHID::RemovePairingOnClose() {}

}  // namespace Kestrel
