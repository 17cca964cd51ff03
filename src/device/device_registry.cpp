#include "device/dev_orx_hid.h"

#include <algorithm>
#include <vector>

namespace Kestrel {

namespace {
// Devices are made and destroyed only inside FindDevice and CloseAll, which the host never runs
// alongside another export, so the list needs no lock.
std::vector<DevOrxHID*>& Devices() {
  static auto* devices = new std::vector<DevOrxHID*>;  // devices may outlive static destructors
  return *devices;
}
}  // namespace

void DeviceRegistry::Add(DevOrxHID* device) { Devices().push_back(device); }

void DeviceRegistry::Remove(DevOrxHID* device) {
  auto& devices = Devices();
  devices.erase(std::remove(devices.begin(), devices.end(), device), devices.end());
}

bool DeviceRegistry::IsAlreadyOpen(const OrxString& serial) {
  // A board whose first open failed and that was found again has two devices: the failed one
  // must not hide the one that holds it now.
  for (DevOrxHID* device : Devices()) {
    if (device->SerialNumber() == serial && !device->IsFailed()) return true;
  }
  return false;
}

int DeviceRegistry::Count() { return static_cast<int>(Devices().size()); }

}  // namespace Kestrel
