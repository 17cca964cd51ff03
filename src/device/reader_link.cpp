// The shared block between a device and its reader thread, and their parting handshake.
#include "device/reader_link.h"

#include <chrono>

namespace Kestrel {

ReaderLink::ReaderLink(HANDLE hid, DevOrxHID* device)
    : hid_(hid),
      readEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      dataEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      endedEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      device_(device) {}

ReaderLink::~ReaderLink() {
  for (HANDLE handle : {dataEvent_, readEvent_, endedEvent_})
    if (handle) CloseHandle(handle);
  if (hid_ && hid_ != INVALID_HANDLE_VALUE) CloseHandle(hid_);
}

bool ReaderLink::Detach(DWORD waitMs) {
  std::unique_lock<std::timed_mutex> guard(gate_, std::chrono::milliseconds(waitMs));
  if (!guard.owns_lock()) return false;
  device_ = nullptr;
  return true;
}

bool ReaderLink::ReaderLeaves() { return leaving_.exchange(kReaderLeft, std::memory_order_acq_rel) != kDeviceLeft; }

bool ReaderLink::DeviceLeaves() { return leaving_.exchange(kDeviceLeft, std::memory_order_acq_rel) != kReaderLeft; }

}  // namespace Kestrel
