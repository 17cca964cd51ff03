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

DWORD WINAPI DevOrxHID::ReaderThread(void* share) {
  auto* held = static_cast<std::shared_ptr<ReaderLink>*>(share);
  DWORD code = RunReader(**held);
  HANDLE ended = (*held)->EndedEvent();
  bool awaited = (*held)->ReaderLeaves();
  delete held;  // when the device still waits, its own share keeps the event open
  // The very last step: once it is set, library detach may unload this code. Only the return
  // into the system's thread start follows.
  if (awaited) SetEvent(ended);
  return code;
}

// Every call into the device goes through the link's gate: once the device has been detached
// from its reader, the thread ends without touching it.
DWORD DevOrxHID::RunReader(ReaderLink& link) {
  uint8_t report[kReportBufferSize];
  OVERLAPPED overlapped;
  const HANDLE hid = link.Hid();
  const HANDLE readEvent = link.ReadEvent();
  bool stop = true;
  if (!link.WithDevice([&](DevOrxHID& device) { stop = device.StopWasRequested(); }) || stop) return 0;
  for (;;) {
    int length = 0;
    if (!link.WithDevice([&](DevOrxHID& device) { length = std::min(device.InputReportLength(), kReportBufferSize); }))
      return 0;
    std::memset(report, 0, static_cast<size_t>(length));
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = readEvent;
    SetLastError(0);
    BOOL done = ReadFile(hid, report, static_cast<DWORD>(length), nullptr, &overlapped);
    uint32_t code = done ? 0 : GetLastError();
    bool noReport = false;
    bool waitFailed = false;
    if (!done && code == ERROR_IO_PENDING) {
      DWORD wait = WaitForSingleObject(readEvent, kReportWaitMs);
      if (wait == WAIT_OBJECT_0 && !StillPending(hid, overlapped)) {
        code = static_cast<uint32_t>(overlapped.Internal);
      } else if (wait == WAIT_OBJECT_0) {
        // Woken by a stop request while the read still runs.
        AwaitCancelledRead(hid, overlapped);
        code = STATUS_PENDING;
      } else {
        AwaitCancelledRead(hid, overlapped);
        noReport = wait == WAIT_TIMEOUT;
        waitFailed = !noReport;
        code = static_cast<uint32_t>(overlapped.Internal);
      }
    }
    if (waitFailed && !link.WithDevice([](DevOrxHID& device) { device.failed.store(true, std::memory_order_release); }))
      return 0;
    if (!noReport) {
      if (code == 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        bool wake = false;
        auto handle = [&](DevOrxHID& device) {
          wake = device.OnInputReport(report, static_cast<int>(overlapped.InternalHigh), now.QuadPart);
        };
        if (!link.WithDevice(handle)) return 0;
        if (wake) SetEvent(link.DataEvent());
      } else if (code != kResultNoReply) {
        link.WithDevice([code](DevOrxHID& device) {
          if (!device.StopWasRequested()) device.OnReadError(code);
          device.disconnected.store(true, std::memory_order_release);
        });
        return code;
      }
    }
    if (!link.WithDevice([&](DevOrxHID& device) { stop = device.StopWasRequested(); }) || stop) return 0;
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
