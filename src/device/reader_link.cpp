// The block a device shares with its reader: its handles and events, the outbox, the capture and
// the parting of the two. The reads themselves are in report_read.cpp.
#include "device/reader_link.h"

#include "device/output_report.h"

#include <cstring>

namespace Kestrel {

namespace {
// Closing the handle ends the reads it still holds; a driver gets this long to say so before the
// record is left to it for good (a leak rather than a write into reused memory).
constexpr DWORD kClosedReadWaitMs = 1000;
}  // namespace

ReaderLink::ReaderLink(HANDLE hid, DevOrxHID* device)
    : hid_(hid),
      readEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      dataEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      closingEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      stopEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      wakeEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      parkedEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      startedEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      device_(device),
      record_(std::make_unique<ReadRecord>()) {
  std::memset(&record_->overlapped, 0, sizeof record_->overlapped);
}

ReaderLink::~ReaderLink() {
  if (hid_ && hid_ != INVALID_HANDLE_VALUE) CloseHandle(hid_);
  const DWORD started = GetTickCount();
  while (record_->pending && StillPending()) {
    DWORD elapsed = GetTickCount() - started;
    if (elapsed >= kClosedReadWaitMs) {
      (void)record_.release();  // the driver may still write there
      break;
    }
    // A broken event would end the wait at once: pace the looks anyway.
    if (WaitForSingleObject(readEvent_, kClosedReadWaitMs - elapsed) == WAIT_FAILED) Sleep(kClosedReadWaitMs / 10);
  }
  for (HANDLE handle : {readEvent_, dataEvent_, closingEvent_, stopEvent_, wakeEvent_, parkedEvent_, startedEvent_})
    if (handle) CloseHandle(handle);
}

uint32_t ReaderLink::WriteReport(uint8_t* report, int length) {
  if (ReportCapture* capture = capture_.load(std::memory_order_acquire)) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    capture->Record(true, report, length, now.QuadPart);
  }
  return WriteOutputReport(hid_, report, length);
}

void ReaderLink::SetCapture(std::shared_ptr<ReportCapture> capture) {
  if (captureStorage_ || !capture) return;
  captureStorage_ = std::move(capture);
  capture_.store(captureStorage_.get(), std::memory_order_release);
}

void ReaderLink::FlushCapture(bool force) {
  if (ReportCapture* capture = capture_.load(std::memory_order_acquire)) capture->Flush(force);
}

void ReaderLink::CutOff() {
  std::lock_guard<std::mutex> guard(gate_);
  device_ = nullptr;
}

bool ReaderLink::Post(const uint8_t* report, bool last) {
  {
    std::lock_guard<std::mutex> guard(outboxLock_);
    if (sealed_) return false;
    outbox_.emplace_back(report, report + kOutputReportSize);
    sealed_ = last;
  }
  SetEvent(wakeEvent_);
  return true;
}

void ReaderLink::Seal() {
  std::lock_guard<std::mutex> guard(outboxLock_);
  sealed_ = true;
}

std::vector<std::vector<uint8_t>> ReaderLink::TakeOutputReports() {
  std::vector<std::vector<uint8_t>> taken;
  std::lock_guard<std::mutex> guard(outboxLock_);
  taken.swap(outbox_);
  return taken;
}

bool ReaderLink::Park(DWORD exitCode) {
  exitCode_.store(exitCode, std::memory_order_release);
  int expected = kRunning;
  return parting_.compare_exchange_strong(expected, kParked, std::memory_order_acq_rel);
}

bool ReaderLink::Orphan(HMODULE module) {
  moduleReference_.store(module, std::memory_order_release);
  int expected = kRunning;
  if (parting_.compare_exchange_strong(expected, kOrphaned, std::memory_order_acq_rel)) return true;
  moduleReference_.store(nullptr, std::memory_order_release);
  return false;
}

}  // namespace Kestrel
