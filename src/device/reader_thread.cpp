// The reader thread: input reports read with overlapped I/O and a bounded wait, each handed to
// the device with a performance-counter timestamp; the output reports the device asks for sent
// outside the gate as soon as they are posted; and the thread's parting (docs/threads.md).
#include "device/dev_orx_hid.h"

#include <algorithm>
#include <cstring>

namespace Kestrel {

namespace {

// Writes what the device asked for. A write to a board going out of range can block for seconds:
// a close meanwhile does not wait for it.
void SendRequestedReports(ReaderLink& link) {
  for (auto& report : link.TakeOutputReports()) link.WriteReport(report.data(), static_cast<int>(report.size()));
}

bool StopAsked(ReaderLink& link) { return WaitForSingleObject(link.StopEvent(), 0) == WAIT_OBJECT_0; }

}  // namespace

DWORD WINAPI DevOrxHID::ReaderThread(void* share) {
  auto* held = static_cast<std::shared_ptr<ReaderLink>*>(share);
  ReaderLink& link = **held;
  SetEvent(link.StartedEvent());
  DWORD code = RunReader(link);
  if (StopAsked(link)) SendRequestedReports(link);  // the last words, LED off, once nothing else reads
  if (link.Park(code)) {
    // From the signal on this thread runs none of the module's code, which an unload may take
    // away at once: the device ends it with ExitThread as an APC, in this same wait.
    SignalObjectAndWait(link.ParkedEvent(), GetCurrentThread(), INFINITE, TRUE);
    for (;;) Sleep(INFINITE);  // not reached: the share, and the link with it, may be gone
  }
  // Orphaned by a close that could not wait: this thread owns its share and a module reference.
  HMODULE module = link.TakeModuleReference();
  delete held;
  FreeLibraryAndExitThread(module, code);
}

// Every call into the device goes through the link's gate: once the device has cut the reader
// off, the thread ends without touching it.
DWORD DevOrxHID::RunReader(ReaderLink& link) {
  uint8_t report[kReportBufferSize];
  using Kind = ReadOutcome::Kind;
  DWORD lastReport = GetTickCount();
  DWORD readStarted = lastReport;
  for (;;) {
    SendRequestedReports(link);
    // Reports that come meanwhile stay unread, as the device asked; a stop ends the pause.
    if (DWORD pause = link.TakeReadPause()) {
      if (WaitForSingleObject(link.StopEvent(), pause) == WAIT_OBJECT_0) return 0;
      bool wake = false;
      if (!link.WithDevice([&wake](DevOrxHID& device) { wake = device.FinishReaderPause(); })) return 0;
      if (wake) SetEvent(link.DataEvent());
    }
    if (StopAsked(link)) return 0;
    int length = 0;
    if (!link.WithDevice([&](DevOrxHID& device) { length = std::min(device.InputReportLength(), kReportBufferSize); }))
      return 0;
    // A post to the outbox ends the wait early; the read goes on, with the rest of its time.
    DWORD elapsed = GetTickCount() - readStarted;
    ReadOutcome read = link.ReadReport(report, length, elapsed < kReportWaitMs ? kReportWaitMs - elapsed : 0,
                                       link.StopEvent(), link.WakeEvent());
    if (read.kind == Kind::kWoken) continue;
    readStarted = GetTickCount();
    if (read.kind == Kind::kNoReport && GetTickCount() - lastReport >= kSilenceLimitMs) {
      bool lost = false;
      link.WithDevice([&lost](DevOrxHID& device) { lost = device.reportsContinuously.load(std::memory_order_acquire); });
      if (lost) read = ReadOutcome{Kind::kFailed, kResultNoReply, 0};
    }
    if (read.kind == Kind::kReport) {
      lastReport = GetTickCount();
      bool wake = false;
      if (!link.WithDevice([&](DevOrxHID& device) { wake = device.OnInputReport(report, read.length, read.counter); }))
        return 0;
      if (wake) SetEvent(link.DataEvent());
    } else if (read.kind != Kind::kNoReport) {
      link.WithDevice([&read](DevOrxHID& device) {
        if (read.kind == Kind::kWaitFailed) device.failed.store(true, std::memory_order_release);
        if (read.kind != Kind::kStopped && !device.StopWasRequested()) device.OnReadError(read.code);
        device.disconnected.store(true, std::memory_order_release);
      });
      return read.kind == Kind::kStopped ? 0 : read.code;
    }
  }
}

void DevOrxHID::PauseReaderThenAbort(DWORD ms, int code) {
  abortAfterPause.store(code);
  link->PostReadPause(ms);
}

bool DevOrxHID::FinishReaderPause() {
  int code = abortAfterPause.exchange(kAbortNone);
  if (code == kAbortNone) return false;
  RaiseAbort(code);
  return true;
}

uint32_t DevOrxHID::ReadInputReport(uint8_t* buffer, int* length) {
  if (*length < 0) *length = 0;
  std::memset(buffer, 0, static_cast<size_t>(*length));
  // Before the reader exists, the host's thread reads; a close ends its wait.
  ReadOutcome read = link->ReadReport(buffer, *length, kReportWaitMs, link->ClosingEvent(), nullptr);
  *length = read.length;
  switch (read.kind) {
    case ReadOutcome::Kind::kReport:
      return 0;
    case ReadOutcome::Kind::kNoReport:
      return kResultNoReply;
    case ReadOutcome::Kind::kStopped:
    case ReadOutcome::Kind::kWoken:
      return ERROR_OPERATION_ABORTED;
    case ReadOutcome::Kind::kWaitFailed:
      failed.store(true, std::memory_order_release);
      return read.code;
    case ReadOutcome::Kind::kFailed:
      return read.code;
  }
  return read.code;
}

}  // namespace Kestrel
