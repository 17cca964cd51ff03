// The reader thread: input reports read with overlapped I/O and a bounded wait, each handed to
// the device with a performance-counter timestamp; the output reports the device asks for sent
// outside the gate.
#include "device/dev_orx_hid.h"

#include <algorithm>
#include <cstring>

namespace Kestrel {

namespace {

// Writes what the device asked for. A write to a board going out of range can block for seconds:
// nobody waits for the reader meanwhile, and the device may be closed and gone by its end.
void SendRequestedReports(ReaderLink& link) {
  for (auto& report : link.TakeOutputReports()) link.WriteReport(report.data(), static_cast<int>(report.size()));
}

}  // namespace

DWORD WINAPI DevOrxHID::ReaderThread(void* share) {
  auto* held = static_cast<std::shared_ptr<ReaderLink>*>(share);
  DWORD code = RunReader(**held);
  SendRequestedReports(**held);  // what a close asks for, LED off, once nothing else reads
  HANDLE ended = (*held)->EndedEvent();
  // Taken before leaving, so that the device, once it sees the reader gone, knows whether the
  // reference is still its own to give back.
  HMODULE module = (*held)->TakeModuleReference();
  bool awaited = (*held)->ReaderLeaves();
  delete held;  // when the device still waits, its own share keeps the event open
  // The very last steps: once the event is set, library detach may unload this code; a reader the
  // close stopped waiting for holds the module and lets go of it only on its way out.
  if (awaited) SetEvent(ended);
  if (module) FreeLibraryAndExitThread(module, code);
  return code;
}

// Every call into the device goes through the link's gate: once the device has been detached
// from its reader, the thread ends without touching it.
DWORD DevOrxHID::RunReader(ReaderLink& link) {
  uint8_t report[kReportBufferSize];
  auto stopped = [&link] {
    bool stop = true;
    link.WithDevice([&](DevOrxHID& device) { stop = device.StopWasRequested(); });
    return stop;
  };
  using Kind = ReadOutcome::Kind;
  DWORD lastReport = GetTickCount();
  while (!stopped()) {
    int length = 0;
    if (!link.WithDevice([&](DevOrxHID& device) { length = std::min(device.InputReportLength(), kReportBufferSize); }))
      return 0;
    ReadOutcome read = link.ReadReport(report, length, kReportWaitMs, stopped);
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
      return read.code;
    }
    SendRequestedReports(link);
    // Reports that come meanwhile stay unread, as the device asked; a stop ends the pause.
    if (DWORD pause = link.TakeReadPause()) {
      WaitForSingleObject(link.ReadEvent(), pause);
      link.WithDevice([](DevOrxHID& device) {
        if (int code = device.abortAfterPause.exchange(kAbortNone)) device.RaiseAbort(code);
      });
    }
  }
  return 0;
}

void DevOrxHID::PauseReaderThenAbort(DWORD ms, int code) {
  abortAfterPause.store(code);
  link->PostReadPause(ms);
}

uint32_t DevOrxHID::ReadInputReport(uint8_t* buffer, int* length) {
  if (*length < 0) *length = 0;
  std::memset(buffer, 0, static_cast<size_t>(*length));
  // Before the reader exists, the host's thread reads; a close wakes it.
  ReadOutcome read = link->ReadReport(buffer, *length, kReportWaitMs, [this] { return IsClosing(); });
  *length = read.length;
  switch (read.kind) {
    case ReadOutcome::Kind::kReport:
      return 0;
    case ReadOutcome::Kind::kNoReport:
      return kResultNoReply;
    case ReadOutcome::Kind::kStopped:
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
