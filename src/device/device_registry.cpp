#include "device/dev_orx_hid.h"

#include <algorithm>
#include <vector>

namespace Kestrel {

namespace {
// A device that a host call still used when CloseAll ran goes when that call returns, on the
// host's thread, while another thread may be searching.
struct Registry {
  std::mutex lock;
  std::vector<DevOrxHID*> devices;
};
Registry& TheRegistry() {
  static auto* registry = new Registry;  // devices may outlive static destructors
  return *registry;
}
}  // namespace

void DeviceRegistry::Add(DevOrxHID* device) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.devices.push_back(device);
}

void DeviceRegistry::Remove(DevOrxHID* device) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.devices.erase(std::remove(r.devices.begin(), r.devices.end(), device), r.devices.end());
}

bool DeviceRegistry::IsAlreadyOpen(const OrxString& serial) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  // A board whose first open failed and that was found again has two devices: the failed one
  // must not hide the one that holds it now. A device that is closing holds no board, even while
  // a host call still uses it.
  for (DevOrxHID* device : r.devices) {
    if (device->SerialNumber() == serial && !device->HasFailed() && !device->IsClosing()) return true;
  }
  return false;
}

std::vector<OrxString> DeviceRegistry::SerialsInUse() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  std::vector<OrxString> serials;
  for (DevOrxHID* device : r.devices)
    if (!device->HasFailed() && !device->IsClosing()) serials.push_back(device->SerialNumber());
  return serials;
}

int DeviceRegistry::Count() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  return static_cast<int>(r.devices.size());
}

}  // namespace Kestrel
