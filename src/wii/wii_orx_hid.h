// WiiOrxHID: a device of the Wii-remote family. It knows whether it is a balance board and,
// when it is destroyed with keep-paired off, removes the device's Bluetooth pairing.
#pragma once

#include "device/dev_orx_hid.h"

namespace Kestrel {

class WiiOrxHID : public DevOrxHID {
 public:
  WiiOrxHID(HANDLE hid, const OrxString& deviceName, const OrxString& serial);
  ~WiiOrxHID() override;

 protected:
  // Chooses the Bluetooth device name under which the pairing is removed. Set at construction.
  bool isBalanceBoard = false;

 private:
  // Runs after the device has been closed, when keep-paired is off.
  void RemovePairingOnClose();
};

}  // namespace Kestrel
