// ReaderLink: what a device's reader thread shares with the device. It owns the HID handle, the
// events and the memory of every input-report read, and it is the gate through which the thread
// reaches the device. The thread and the device each hold a share; whichever lets go last closes
// the handles, so a thread that outlives a close never uses a freed object or a closed handle.
#pragma once

#include "device/report_capture.h"
#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace Kestrel {

class DevOrxHID;

constexpr int kReportBufferSize = 256;
// Result codes of reads and report exchanges.
constexpr uint32_t kResultNoReply = 258;  // WAIT_TIMEOUT: no report within the wait
constexpr int kOutputReportSize = 22;  // every output report of the Wii-remote family, with its id

// One overlapped read: its record and buffer live on the heap, apart from any stack, so that a
// read still pending when its caller gives up can finish into memory nobody else uses.
struct ReportRead {
  OVERLAPPED overlapped;
  uint8_t buffer[kReportBufferSize];
};

// What one read of an input report came to.
struct ReadOutcome {
  enum class Kind {
    kReport,     // a report arrived: code 0, length bytes copied out
    kNoReport,   // none within the wait
    kStopped,    // the read event was set for a stop while the read still ran
    kFailed,     // the read failed: code holds the system error or the completion status
    kWaitFailed  // the wait on the read event itself failed
  };
  Kind kind = Kind::kNoReport;
  uint32_t code = 0;
  int length = 0;
  int64_t counter = 0;  // the performance counter when a report arrived
};

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

  // Reads one input report of up to length bytes into report, waiting up to waitMs. stopped tells
  // a set read event from a spurious one (a late completion of an earlier read signals it too).
  // One thread at a time: the opening host thread before the reader exists, the reader after.
  ReadOutcome ReadReport(uint8_t* report, int length, DWORD waitMs, const std::function<bool()>& stopped);

  // Sends one output report now: 0 once it was sent, else the reason it was not.
  uint32_t WriteReport(uint8_t* report, int length);

  // Every report read or written from now on is recorded there. Once, before the reader exists.
  void SetCapture(std::shared_ptr<ReportCapture> capture);
  // Writes out what was recorded, from a host thread: only when enough is waiting, or with force.
  void FlushCapture(bool force);

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

  // Output reports that the device wants sent from the reader's side: a report handler runs with
  // the gate held and must not block on a write, which can take seconds on a dying link. The
  // reader sends them once it has let go of the gate; the last ones as it ends after a stop.
  void PostOutputReport(const uint8_t* report);
  std::vector<std::vector<uint8_t>> TakeOutputReports();
  // Asks the reader to leave the board's reports unread for a while, outside the gate.
  void PostReadPause(DWORD ms) { readPauseMs_.store(ms, std::memory_order_release); }
  DWORD TakeReadPause() { return readPauseMs_.exchange(0, std::memory_order_acq_rel); }

  // The parting handshake. The reader calls ReaderLeaves once it is done with everything but the
  // signal: true means the device still waits for EndedEvent, so the reader must set it. The
  // device calls DeviceLeaves when it stops waiting: true means the reader will not signal, false
  // that it already decided to (its signal is moments away and the event must outlive it).
  bool ReaderLeaves();
  bool DeviceLeaves();

  // A reader runs the plug-in's code up to its last step, and may outlive the close: it is handed
  // a reference to the plug-in's module before it is stopped, and ends by releasing it, so an
  // unload meanwhile waits for it. Exactly one side takes the reference back: the reader just
  // before it leaves, or the device once the reader has left without it.
  void GiveModuleReference(HMODULE module) { moduleReference_.store(module, std::memory_order_release); }
  HMODULE TakeModuleReference() { return moduleReference_.exchange(nullptr, std::memory_order_acq_rel); }

 private:
  enum Leaving : int { kNobodyLeft, kReaderLeft, kDeviceLeft };

  // A read given up while still pending is set aside with its memory until it has completed.
  void RetireCurrentRead();
  void FreeCompletedRetiredReads();
  bool IsPending(ReportRead& read) const;
  // After CancelIo the read may still be finishing; waits a bounded time for it.
  bool AwaitCancelled(ReportRead& read) const;

  HANDLE hid_;
  HANDLE readEvent_;
  HANDLE dataEvent_;
  HANDLE endedEvent_;
  std::mutex gate_;
  DevOrxHID* device_;  // guarded by gate_
  std::atomic<int> leaving_{kNobodyLeft};
  std::atomic<HMODULE> moduleReference_{nullptr};
  std::atomic<DWORD> readPauseMs_{0};
  std::shared_ptr<ReportCapture> captureStorage_;
  std::atomic<ReportCapture*> capture_{nullptr};
  std::mutex outboxLock_;  // never held across a write
  std::vector<std::vector<uint8_t>> outbox_;
  // Used by one reading thread at a time (see ReadReport); the last owner frees them.
  std::unique_ptr<ReportRead> current_;
  std::vector<std::unique_ptr<ReportRead>> retired_;
};

}  // namespace Kestrel
