// The shared block between a device and its reader thread, and their parting handshake.
#include "device/reader_link.h"

#include <chrono>
#include <thread>

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
  // Tried until the deadline rather than a timed lock: ThreadSanitizer does not see the clock-based
  // lock a timed mutex uses on glibc, and the gate is held only for one report's handling.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (!gate_.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::lock_guard<std::mutex> guard(gate_, std::adopt_lock);
  device_ = nullptr;
  return true;
}

bool ReaderLink::ReaderLeaves() { return leaving_.exchange(kReaderLeft, std::memory_order_acq_rel) != kDeviceLeft; }

bool ReaderLink::DeviceLeaves() { return leaving_.exchange(kDeviceLeft, std::memory_order_acq_rel) != kReaderLeft; }

}  // namespace Kestrel
