// ReaderLink: what a device shares with its reader thread. It owns the HID handle, the events, the
// one read record and the outbox, and it is the gate through which the reader reaches the device.
// The device and the reader each hold a share; the last share closes the handle, and frees the
// read record only once the system has ended its read. docs/threads.md tells the whole design.
#pragma once

#include "device/report_capture.h"
#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace Kestrel {

class DevOrxHID;

constexpr int kReportBufferSize = 256;
// Result codes of reads and report exchanges.
constexpr uint32_t kResultNoReply = 258;  // WAIT_TIMEOUT: no report within the wait
constexpr int kOutputReportSize = 22;  // every output report of the Wii-remote family, with its id

// What one read of an input report came to.
struct ReadOutcome {
  enum class Kind {
    kReport,     // a report arrived: code 0, length bytes copied out
    kNoReport,   // none within the wait
    kStopped,    // the stop event ended the wait
    kWoken,      // the wake event ended the wait; the read goes on, pending
    kFailed,     // the read failed: code holds the system error or the completion status
    kWaitFailed  // the wait itself failed
  };
  Kind kind = Kind::kNoReport;
  uint32_t code = 0;
  int length = 0;
  int64_t counter = 0;  // the performance counter when a report arrived
};

// The one overlapped read of a link. While a read is pending the record belongs to the system:
// nobody starts another read into it, and the next reader waits for that read first (a report
// that beats a slow cancel is still a report). Heap memory of its own, apart from any stack.
struct ReadRecord {
  OVERLAPPED overlapped;
  uint8_t buffer[kReportBufferSize];
  bool pending = false;
  bool cancelAsked = false;
  DWORD startedBy = 0;  // CancelIo reaches only the calling thread's I/O
};

class ReaderLink {
 public:
  ReaderLink(HANDLE hid, DevOrxHID* device);
  ~ReaderLink();
  ReaderLink(const ReaderLink&) = delete;
  ReaderLink& operator=(const ReaderLink&) = delete;

  HANDLE Hid() const { return hid_; }
  // Auto-reset: news for one waiting host call.
  HANDLE DataEvent() const { return dataEvent_; }
  // Manual-reset, set once: the device is closing. Every wait a close must end waits on it too.
  HANDLE ClosingEvent() const { return closingEvent_; }
  // Manual-reset, set once: the reader must end.
  HANDLE StopEvent() const { return stopEvent_; }
  // Manual-reset: the reader has parked (see Park).
  HANDLE ParkedEvent() const { return parkedEvent_; }
  // Manual-reset: the reader runs, the first thing it does. Until then the system may be holding
  // it back (no thread starts while a library is being loaded or unloaded).
  HANDLE StartedEvent() const { return startedEvent_; }

  // Reads one input report of up to length bytes into report, waiting up to waitMs, or less when
  // stop (or wake, which may be null) is set. One thread at a time: the opening host thread before
  // the reader exists, the reader after.
  ReadOutcome ReadReport(uint8_t* report, int length, DWORD waitMs, HANDLE stop, HANDLE wake);
  // Sends one output report now: 0 once it was sent, else the reason it was not.
  uint32_t WriteReport(uint8_t* report, int length);
  // Asks the system to cancel every I/O on the handle, whichever thread started it, where the
  // system can (CancelIoEx): a write stuck in the driver may end, if the driver lets it.
  void CancelAllIo();

  // Every report read or written from now on is recorded there. Once, before the reader exists.
  void SetCapture(std::shared_ptr<ReportCapture> capture);
  // Writes out what was recorded, from a host thread: only when enough is waiting, or with force.
  void FlushCapture(bool force);

  // Reader side: runs visit(device) while the device cannot be cut off; false once it has been.
  // Nothing inside a visit waits or blocks.
  template <typename Visit>
  bool WithDevice(Visit visit) {
    std::lock_guard<std::mutex> guard(gate_);
    if (!device_) return false;
    visit(*device_);
    return true;
  }
  // Device side: from now on the reader never reaches the device. Waits for a visit in progress.
  void CutOff();

  // The outbox: output reports that host threads and report handlers want sent, which the reader
  // sends outside the gate (a write can block for seconds on a dying link). A post wakes the
  // reader at once. Sealing ends the posting: what was posted before is still sent, nothing after.
  bool PostOutputReport(const uint8_t* report) { return Post(report, false); }
  // Posts the last report and seals in one step: nothing posted meanwhile can come after it.
  bool PostLastOutputReport(const uint8_t* report) { return Post(report, true); }
  void Seal();
  std::vector<std::vector<uint8_t>> TakeOutputReports();
  HANDLE WakeEvent() const { return wakeEvent_; }
  // Asks the reader to leave the board's reports unread for a while, after the report it handles.
  void PostReadPause(DWORD ms) { readPauseMs_.store(ms, std::memory_order_release); }
  DWORD TakeReadPause() { return readPauseMs_.exchange(0, std::memory_order_acq_rel); }

  // How the reader and the device part, decided by one exchange. The reader parks when its work is
  // done: true means its share now belongs to the device, which ends the thread; false, that the
  // device has orphaned it. The device orphans a reader it cannot wait for any longer, handing it
  // a reference to the module: true means the reader now owns its share and that reference; false,
  // that it had parked meanwhile (the reference is the device's to give back).
  bool Park(DWORD exitCode);
  bool Orphan(HMODULE module);
  HMODULE TakeModuleReference() { return moduleReference_.exchange(nullptr, std::memory_order_acq_rel); }
  DWORD ExitCode() const { return exitCode_.load(std::memory_order_acquire); }

 private:
  enum Parting : int { kRunning, kParked, kOrphaned };

  bool Post(const uint8_t* report, bool last);
  // Starts a read into the record: kFailed when it could not, else it is pending or ended at once.
  ReadOutcome StartRead(int length);
  bool StillPending() const;
  // The outcome of the record's read, which has ended.
  ReadOutcome Finish(uint8_t* report, int length);
  void CancelRead();

  HANDLE hid_;
  HANDLE readEvent_;
  HANDLE dataEvent_;
  HANDLE closingEvent_;
  HANDLE stopEvent_;
  HANDLE wakeEvent_;
  HANDLE parkedEvent_;
  HANDLE startedEvent_;
  std::mutex gate_;
  DevOrxHID* device_;  // guarded by gate_
  std::atomic<int> parting_{kRunning};
  std::atomic<HMODULE> moduleReference_{nullptr};
  std::atomic<DWORD> exitCode_{0};
  std::atomic<DWORD> readPauseMs_{0};
  std::shared_ptr<ReportCapture> captureStorage_;
  std::atomic<ReportCapture*> capture_{nullptr};
  std::mutex outboxLock_;  // never held across a write
  std::vector<std::vector<uint8_t>> outbox_;
  bool sealed_ = false;  // guarded by outboxLock_
  // Used by one reading thread at a time; the last owner frees it, once its read has ended.
  std::unique_ptr<ReadRecord> record_;
};

}  // namespace Kestrel
