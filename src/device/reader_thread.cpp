// The reader thread: input reports read with overlapped I/O and a bounded wait, each handed to
// the device with a performance-counter timestamp.
#include "device/dev_orx_hid.h"

#include <algorithm>
#include <cstring>

namespace Kestrel {

namespace {

constexpr DWORD kCancelPollMs = 100;
constexpr int kCancelPolls = 30;

// After CancelIo the read may still be finishing: its buffer and record must outlive it.
void AwaitCancelledRead(HANDLE file, OVERLAPPED& overlapped) {
  CancelIo(file);
  DWORD transferred = 0;
  for (int i = 0; i < kCancelPolls; ++i) {
    if (GetOverlappedResult(file, &overlapped, &transferred, FALSE) || GetLastError() != ERROR_IO_INCOMPLETE) return;
    // A broken event would end the wait at once: pace the polls anyway.
    if (WaitForSingleObject(overlapped.hEvent, kCancelPollMs) == WAIT_FAILED) Sleep(kCancelPollMs);
  }
}

// Asks the system rather than peeking at the record, which the completing side writes.
bool StillPending(HANDLE file, OVERLAPPED& overlapped) {
  DWORD transferred = 0;
  return !GetOverlappedResult(file, &overlapped, &transferred, FALSE) && GetLastError() == ERROR_IO_INCOMPLETE;
}

}  // namespace

DWORD WINAPI DevOrxHID::ReaderThread(void* device) { return static_cast<DevOrxHID*>(device)->RunReader(); }

DWORD DevOrxHID::RunReader() {
  uint8_t report[kReportBufferSize];
  OVERLAPPED overlapped;
  if (StopWasRequested()) return 0;
  for (;;) {
    int length = std::min(InputReportLength(), kReportBufferSize);
    std::memset(report, 0, static_cast<size_t>(length));
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = readEvent;
    SetLastError(0);
    BOOL done = ReadFile(hidHandle, report, static_cast<DWORD>(length), nullptr, &overlapped);
    uint32_t code = done ? 0 : GetLastError();
    bool noReport = false;
    if (!done && code == ERROR_IO_PENDING) {
      DWORD wait = WaitForSingleObject(readEvent, kReportWaitMs);
      if (wait == WAIT_OBJECT_0 && !StillPending(hidHandle, overlapped)) {
        code = static_cast<uint32_t>(overlapped.Internal);
      } else if (wait == WAIT_OBJECT_0) {
        // Woken by a stop request while the read still runs.
        AwaitCancelledRead(hidHandle, overlapped);
        code = STATUS_PENDING;
      } else {
        AwaitCancelledRead(hidHandle, overlapped);
        if (wait == WAIT_TIMEOUT) {
          noReport = true;
        } else {
          failed.store(true, std::memory_order_release);
          code = static_cast<uint32_t>(overlapped.Internal);
        }
      }
    }
    if (!noReport) {
      if (code == 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        if (OnInputReport(report, static_cast<int>(overlapped.InternalHigh), now.QuadPart)) SetEvent(dataEvent);
      } else if (code != kResultNoReply) {
        if (!StopWasRequested()) OnReadError(code);
        disconnected.store(true, std::memory_order_release);
        return code;
      }
    }
    if (StopWasRequested()) return 0;
  }
}

uint32_t DevOrxHID::ReadInputReport(uint8_t* buffer, int* length) {
  if (*length < 0) *length = 0;
  std::memset(buffer, 0, static_cast<size_t>(*length));
  OVERLAPPED overlapped;
  std::memset(&overlapped, 0, sizeof overlapped);
  overlapped.hEvent = readEvent;
  SetLastError(0);
  BOOL done = ReadFile(hidHandle, buffer, static_cast<DWORD>(*length), nullptr, &overlapped);
  uint32_t code = done ? 0 : GetLastError();
  if (!done && code == ERROR_IO_PENDING) {
    DWORD wait = WaitForSingleObject(readEvent, kReportWaitMs);
    if (wait != WAIT_OBJECT_0 || StillPending(hidHandle, overlapped)) {
      AwaitCancelledRead(hidHandle, overlapped);
      if (wait == WAIT_TIMEOUT) {
        *length = static_cast<int>(overlapped.InternalHigh);
        return kResultNoReply;
      }
      if (wait != WAIT_OBJECT_0) failed.store(true, std::memory_order_release);
    }
    code = static_cast<uint32_t>(overlapped.Internal);
  }
  *length = static_cast<int>(overlapped.InternalHigh);
  return code;
}

}  // namespace Kestrel
