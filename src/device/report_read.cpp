// Reading input reports with overlapped I/O into the link's one record: a bounded wait that a stop
// or a wake ends, a cancel that may take its time, and a record never reused while a read is
// pending.
#include "device/reader_link.h"

#include <algorithm>
#include <cstring>

namespace Kestrel {

namespace {

constexpr uint32_t kStatusCancelled = 0xC0000120;  // a read ended by a cancel

using CancelIoExFunction = BOOL(WINAPI*)(HANDLE, LPOVERLAPPED);

// Windows before Vista has no CancelIoEx: a read another thread started then ends only with a
// report, a failure or its handle's close.
CancelIoExFunction SystemCancelIoEx() {
  static const CancelIoExFunction function = [] {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC address = kernel ? GetProcAddress(kernel, "CancelIoEx") : nullptr;
    return reinterpret_cast<CancelIoExFunction>(reinterpret_cast<void (*)()>(address));
  }();
  return function;
}

}  // namespace

bool ReaderLink::StillPending() const {
  // Asks the system rather than peeking at the record, which the completing side writes. Without a
  // wait the system only looks at the record, so this holds after the handle is closed too.
  DWORD transferred = 0;
  return !GetOverlappedResult(hid_, &record_->overlapped, &transferred, FALSE) &&
         GetLastError() == ERROR_IO_INCOMPLETE;
}

void ReaderLink::CancelRead() {
  ReadRecord& read = *record_;
  read.cancelAsked = true;
  if (read.startedBy == GetCurrentThreadId()) {
    CancelIo(hid_);
  } else if (CancelIoExFunction cancel = SystemCancelIoEx()) {
    cancel(hid_, &read.overlapped);
  }
}

void ReaderLink::CancelAllIo() {
  if (CancelIoExFunction cancel = SystemCancelIoEx()) cancel(hid_, nullptr);
}

ReadOutcome ReaderLink::StartRead(int length) {
  ReadRecord& read = *record_;
  std::memset(&read.overlapped, 0, sizeof read.overlapped);
  std::memset(read.buffer, 0, sizeof read.buffer);
  read.overlapped.hEvent = readEvent_;
  read.cancelAsked = false;
  read.startedBy = GetCurrentThreadId();
  SetLastError(0);
  read.pending = true;
  if (ReadFile(hid_, read.buffer, static_cast<DWORD>(length), nullptr, &read.overlapped)) {
    read.pending = false;  // ended at once
    return ReadOutcome{ReadOutcome::Kind::kReport};
  }
  DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) return ReadOutcome{ReadOutcome::Kind::kWoken};
  read.pending = false;
  return ReadOutcome{ReadOutcome::Kind::kFailed, error};
}

ReadOutcome ReaderLink::Finish(uint8_t* report, int length) {
  ReadRecord& read = *record_;
  read.pending = false;
  ReadOutcome outcome;
  outcome.code = static_cast<uint32_t>(read.overlapped.Internal);
  if (outcome.code == kStatusCancelled && read.cancelAsked) {
    outcome.kind = ReadOutcome::Kind::kNoReport;  // a read this side gave up: no report, no error
    outcome.code = kResultNoReply;
    return outcome;
  }
  if (outcome.code != 0) {
    outcome.kind = ReadOutcome::Kind::kFailed;
    return outcome;
  }
  outcome.kind = ReadOutcome::Kind::kReport;
  outcome.length = static_cast<int>(std::min<ULONG_PTR>(read.overlapped.InternalHigh, static_cast<ULONG_PTR>(length)));
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  outcome.counter = now.QuadPart;
  std::memcpy(report, read.buffer, static_cast<size_t>(length));
  if (ReportCapture* capture = capture_.load(std::memory_order_acquire))
    capture->Record(false, read.buffer, outcome.length, outcome.counter);
  return outcome;
}

ReadOutcome ReaderLink::ReadReport(uint8_t* report, int length, DWORD waitMs, HANDLE stop, HANDLE wake) {
  using Kind = ReadOutcome::Kind;
  length = std::max(0, std::min(length, kReportBufferSize));
  const DWORD started = GetTickCount();
  for (;;) {
    if (!record_->pending) {
      ReadOutcome start = StartRead(length);
      if (start.kind == Kind::kFailed) return start;
      if (!record_->pending) return Finish(report, length);  // ended at once
    }
    DWORD elapsed = GetTickCount() - started;
    DWORD left = elapsed < waitMs ? waitMs - elapsed : 0;
    // A stop comes first: it ends the wait even when a report is there too.
    HANDLE handles[] = {stop, readEvent_, wake};
    DWORD wait = WaitForMultipleObjects(wake ? 3 : 2, handles, FALSE, left);
    if (wait == WAIT_OBJECT_0 + 1) {
      if (StillPending()) continue;  // the event of a read given up earlier, or spurious
      ReadOutcome outcome = Finish(report, length);
      // The end of a read cancelled before: this wait still has its time for a new one.
      if (outcome.kind == Kind::kNoReport && GetTickCount() - started < waitMs) continue;
      return outcome;
    }
    if (wait == WAIT_OBJECT_0 + 2) return ReadOutcome{Kind::kWoken};
    CancelRead();
    // A report that beat the cancel is still a report; a read that will not end yet keeps the
    // record, and the next read waits for it.
    if (wait == WAIT_TIMEOUT && !StillPending()) return Finish(report, length);
    if (wait == WAIT_TIMEOUT) return ReadOutcome{Kind::kNoReport, kResultNoReply};
    return ReadOutcome{wait == WAIT_OBJECT_0 ? Kind::kStopped : Kind::kWaitFailed, STATUS_PENDING};
  }
}

}  // namespace Kestrel
