// ReaderLink: what a device's reader thread shares with the device. It owns the HID handle and
// the events, and it is the gate through which the thread reaches the device. The thread and the
// device each hold a share; whichever lets go last closes the handles, so a thread that outlives
// a close never uses a freed object or a closed handle.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <mutex>

namespace Kestrel {

class DevOrxHID;

class ReaderLink {
 public:
  ReaderLink(HANDLE hid, DevOrxHID* device);
  ~ReaderLink();
  ReaderLink(const ReaderLink&) = delete;
  ReaderLink& operator=(const ReaderLink&) = delete;

  HANDLE Hid() const { return hid_; }
  HANDLE ReadEvent() const { return readEvent_; }
  HANDLE DataEvent() const { return dataEvent_; }
  // Manual-reset: set by the reader thread as its very last step, when the device still waits.
  HANDLE EndedEvent() const { return endedEvent_; }

  // Reader side: runs visit(device) while the device cannot be detached; false once it has been.
  template <typename Visit>
  bool WithDevice(Visit visit) {
    std::lock_guard<std::mutex> guard(gate_);
    if (!device_) return false;
    visit(*device_);
    return true;
  }

  // Device side: from now on the reader never reaches the device. False when the reader held
  // the gate for longer than waitMs (it is inside one of the device's report handlers).
  bool Detach(DWORD waitMs);

  // The parting handshake. The reader calls ReaderLeaves once it is done with everything but the
  // signal: true means the device still waits for EndedEvent, so the reader must set it. The
  // device calls DeviceLeaves when it stops waiting: true means the reader will not signal, false
  // that it already decided to (its signal is moments away and the event must outlive it).
  bool ReaderLeaves();
  bool DeviceLeaves();

 private:
  enum Leaving : int { kNobodyLeft, kReaderLeft, kDeviceLeft };

  HANDLE hid_;
  HANDLE readEvent_;
  HANDLE dataEvent_;
  HANDLE endedEvent_;
  std::mutex gate_;
  DevOrxHID* device_;  // guarded by gate_
  std::atomic<int> leaving_{kNobodyLeft};
};

}  // namespace Kestrel
