// Events, an event and the OVERLAPPED record that uses it for one overlapped operation at a time,
// and the bounded write that the device pipes and the stand-in hid.dll both make.
#pragma once

#include "platform/win32.h"

namespace standins {

// A kernel event that lives as long as this does.
class EventHandle {
 public:
  explicit EventHandle(bool manualReset) : event_(CreateEventW(nullptr, manualReset, FALSE, nullptr)) {}
  ~EventHandle() {
    if (event_) CloseHandle(event_);
  }
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  HANDLE Get() const { return event_; }

 private:
  HANDLE event_;
};

class OverlappedEvent {
 public:
  // A fresh record for the next operation.
  OVERLAPPED* Begin() {
    ZeroMemory(&overlapped_, sizeof overlapped_);
    overlapped_.hEvent = event_.Get();
    return &overlapped_;
  }
  HANDLE Event() const { return event_.Get(); }

 private:
  EventHandle event_{true};
  OVERLAPPED overlapped_{};
};

// Cancels what this thread started on the handle and waits until the record is free again.
inline void CancelAndWait(HANDLE file, OVERLAPPED* overlapped) {
  CancelIo(file);
  DWORD transferred = 0;
  GetOverlappedResult(file, overlapped, &transferred, TRUE);
}

// Writes one message, giving up (and cancelling) after waitMs; true when it was written.
inline bool WriteWithin(HANDLE file, OverlappedEvent& event, const void* data, DWORD length, DWORD waitMs) {
  OVERLAPPED* overlapped = event.Begin();
  DWORD written = 0;
  if (WriteFile(file, data, length, &written, overlapped)) return true;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  if (WaitForSingleObject(event.Event(), waitMs) != WAIT_OBJECT_0) {
    CancelAndWait(file, overlapped);
    return false;
  }
  return GetOverlappedResult(file, overlapped, &written, FALSE) != FALSE;
}

}  // namespace standins
