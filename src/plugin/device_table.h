// The host's device indices: positions in this table, which owns the devices. A host thread
// inside an export holds its device too, so a close on another thread never frees it under that
// call: the device goes when the last of them lets go.
#pragma once

#include "device/dev_orx_hid.h"

#include <memory>
#include <mutex>
#include <vector>

class DeviceTable {
 public:
  static DeviceTable& Instance();

  // The device at index, or null for an empty entry or an index outside the table.
  std::shared_ptr<Kestrel::DevOrxHID> At(int index) const;
  int Append(std::unique_ptr<Kestrel::DevOrxHID> device);  // returns the new index
  int Size() const;
  bool IsEmpty() const { return Size() == 0; }
  // Closes every device, last first, then destroys the search's enumerator. A device that a call
  // on another thread still uses is told to close and goes when that call returns.
  void CloseAll();

 private:
  mutable std::mutex lock_;
  std::vector<std::shared_ptr<Kestrel::DevOrxHID>> devices_;
};
