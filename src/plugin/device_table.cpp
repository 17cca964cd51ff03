#include "plugin/device_table.h"

#include "discovery/device_search.h"

DeviceTable& DeviceTable::Instance() {
  // Never destroyed: library detach still closes the devices after static destructors ran.
  static DeviceTable* table = new DeviceTable;
  return *table;
}

std::shared_ptr<Kestrel::DevOrxHID> DeviceTable::At(int index) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (index < 0 || static_cast<size_t>(index) >= devices_.size()) return nullptr;
  return devices_[static_cast<size_t>(index)];
}

int DeviceTable::Append(std::unique_ptr<Kestrel::DevOrxHID> device) {
  std::lock_guard<std::mutex> guard(lock_);
  devices_.push_back(std::move(device));
  return static_cast<int>(devices_.size()) - 1;
}

int DeviceTable::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(devices_.size());
}

void DeviceTable::CloseAll() {
  // A search on another thread stops and is waited for: it must not hand out a board of the table
  // being emptied, nor use the enumeration forgotten here.
  DeviceSearch::SearchHold hold;
  std::vector<std::shared_ptr<Kestrel::DevOrxHID>> closing;
  {
    std::lock_guard<std::mutex> guard(lock_);
    closing.swap(devices_);
  }
  // Every board closing at once: their readers stop side by side, then each goes, last first.
  for (auto& device : closing) device->BeginClose();
  while (!closing.empty()) closing.pop_back();
  hold.DestroyEnumerator();
}
