#include "plugin/device_table.h"

#include "discovery/device_search.h"

DeviceTable& DeviceTable::Instance() {
  // Never destroyed: library detach still closes the devices after static destructors ran.
  static DeviceTable* table = new DeviceTable;
  return *table;
}

Kestrel::DevOrxHID* DeviceTable::At(int index) const {
  if (index < 0 || index >= Size()) return nullptr;
  return devices_[static_cast<size_t>(index)].get();
}

int DeviceTable::Append(std::unique_ptr<Kestrel::DevOrxHID> device) {
  devices_.push_back(std::move(device));
  return Size() - 1;
}

void DeviceTable::CloseAll() {
  for (size_t n = devices_.size(); n > 0; --n) devices_.pop_back();
  DeviceSearch::DestroyEnumerator();
}
