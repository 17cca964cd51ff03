// The host's device indices: positions in this table, which owns the devices.
#pragma once

#include "device/dev_orx_hid.h"

#include <memory>
#include <vector>

class DeviceTable {
 public:
  static DeviceTable& Instance();

  // The device at index, or null for an empty entry or an index outside the table.
  Kestrel::DevOrxHID* At(int index) const;
  int Append(std::unique_ptr<Kestrel::DevOrxHID> device);  // returns the new index
  int Size() const { return static_cast<int>(devices_.size()); }
  bool IsEmpty() const { return devices_.empty(); }
  // Destroys every device, last first, then the search's enumerator.
  void CloseAll();

 private:
  std::vector<std::unique_ptr<Kestrel::DevOrxHID>> devices_;
};
