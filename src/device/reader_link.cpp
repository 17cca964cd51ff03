// The shared block between a device and its reader thread: the reads and their memory, the
// reader's outbox, and the parting handshake.
#include "device/reader_link.h"

#include "device/output_report.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace Kestrel {

namespace {
constexpr DWORD kCancelPollMs = 100;
constexpr int kCancelPolls = 30;
// How long the last owner waits for reads that closing the device should end, before it leaves
// their memory to them for good.
constexpr DWORD kClosedReadPollMs = 10;
constexpr int kClosedReadPolls = 20;
}  // namespace

ReaderLink::ReaderLink(HANDLE hid, DevOrxHID* device)
    : hid_(hid),
      readEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      dataEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      endedEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      device_(device) {}

ReaderLink::~ReaderLink() {
  if (current_ && IsPending(*current_)) RetireCurrentRead();
  // Closing the device ends the reads it still holds; only then may their memory go.
  if (hid_ && hid_ != INVALID_HANDLE_VALUE) CloseHandle(hid_);
  for (int poll = 0; poll < kClosedReadPolls && !retired_.empty(); ++poll) {
    FreeCompletedRetiredReads();
    if (!retired_.empty()) Sleep(kClosedReadPollMs);
  }
  // A driver that never completes them may still write there: leave it the memory, for good.
  for (auto& read : retired_) (void)read.release();
  for (HANDLE handle : {dataEvent_, readEvent_, endedEvent_})
    if (handle) CloseHandle(handle);
}

// Asks the system rather than peeking at the record, which the completing side writes. Needs no
// open handle: without a wait the system only looks at the record.
bool ReaderLink::IsPending(ReportRead& read) const {
  DWORD transferred = 0;
  return !GetOverlappedResult(hid_, &read.overlapped, &transferred, FALSE) && GetLastError() == ERROR_IO_INCOMPLETE;
}

bool ReaderLink::AwaitCancelled(ReportRead& read) const {
  for (int i = 0; i < kCancelPolls; ++i) {
    if (!IsPending(read)) return true;
    // A broken event would end the wait at once: pace the polls anyway.
    if (WaitForSingleObject(readEvent_, kCancelPollMs) == WAIT_FAILED) Sleep(kCancelPollMs);
  }
  return !IsPending(read);
}

void ReaderLink::RetireCurrentRead() { retired_.push_back(std::move(current_)); }

void ReaderLink::FreeCompletedRetiredReads() {
  retired_.erase(std::remove_if(retired_.begin(), retired_.end(),
                                [this](const std::unique_ptr<ReportRead>& read) { return !IsPending(*read); }),
                 retired_.end());
}

ReadOutcome ReaderLink::ReadReport(uint8_t* report, int length, DWORD waitMs, const std::function<bool()>& stopped) {
  FreeCompletedRetiredReads();
  if (!current_) current_ = std::make_unique<ReportRead>();
  ReportRead& read = *current_;
  length = std::max(0, std::min(length, kReportBufferSize));
  std::memset(&read, 0, sizeof read);
  read.overlapped.hEvent = readEvent_;
  ReadOutcome outcome;
  SetLastError(0);
  if (!ReadFile(hid_, read.buffer, static_cast<DWORD>(length), nullptr, &read.overlapped)) {
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      outcome.kind = ReadOutcome::Kind::kFailed;
      outcome.code = error;
      return outcome;
    }
    const DWORD started = GetTickCount();
    for (;;) {
      DWORD elapsed = GetTickCount() - started;
      // ReadFile reset the event as it began: a stop asked for just before would not wake the wait.
      DWORD left = elapsed < waitMs ? waitMs - elapsed : 0;
      DWORD wait = stopped() ? WAIT_OBJECT_0 : WaitForSingleObject(readEvent_, left);
      if (wait == WAIT_OBJECT_0 && !IsPending(read)) break;
      // Set by the late end of a read given up earlier: this one still has its time.
      if (wait == WAIT_OBJECT_0 && !stopped()) continue;
      CancelIo(hid_);
      using Kind = ReadOutcome::Kind;
      Kind unfinished = wait == WAIT_TIMEOUT ? Kind::kNoReport : wait == WAIT_OBJECT_0 ? Kind::kStopped : Kind::kWaitFailed;
      if (!AwaitCancelled(read)) {
        RetireCurrentRead();
        outcome.kind = unfinished;
        outcome.code = unfinished == Kind::kNoReport ? kResultNoReply : STATUS_PENDING;
        return outcome;
      }
      // A report that beat the cancel is still a report.
      if (read.overlapped.Internal == 0) break;
      outcome.kind = unfinished;
      outcome.code = unfinished == Kind::kNoReport ? kResultNoReply : static_cast<uint32_t>(read.overlapped.Internal);
      return outcome;
    }
  }
  outcome.code = static_cast<uint32_t>(read.overlapped.Internal);
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

void ReaderLink::PostOutputReport(const uint8_t* report) {
  std::lock_guard<std::mutex> guard(outboxLock_);
  outbox_.emplace_back(report, report + kOutputReportSize);
}

std::vector<std::vector<uint8_t>> ReaderLink::TakeOutputReports() {
  std::vector<std::vector<uint8_t>> taken;
  std::lock_guard<std::mutex> guard(outboxLock_);
  taken.swap(outbox_);
  return taken;
}

bool ReaderLink::ReaderLeaves() { return leaving_.exchange(kReaderLeft, std::memory_order_acq_rel) != kDeviceLeft; }

bool ReaderLink::DeviceLeaves() { return leaving_.exchange(kDeviceLeft, std::memory_order_acq_rel) != kReaderLeft; }

}  // namespace Kestrel
