// DevOrxHID: an opened HID device made to behave like a serial instrument. It owns the HID
// handle, a reader thread, a ring of reply text and a ring of sample values, the command
// interpreter and the bookkeeping of sampling runs and their aborts. What is particular to a
// device kind is left to the pure virtual operations.
#pragma once

#include "device/reader_link.h"
#include "device/ring_buffer.h"
#include "platform/win32.h"
#include "support/orx_string.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace Kestrel {

constexpr int kTextRingCapacity = 4096;
constexpr int kSampleRingCapacity = 32768;
constexpr int kCommandLineSize = 256;
constexpr int kTokenSize = 260;
// A close returns within this, a board, whatever the driver does.
constexpr DWORD kCloseBudgetMs = 2000;
// How long a close waits for its reader to park; a reader still busy then (a write stuck in the
// driver) is orphaned.
constexpr DWORD kReaderStopWaitMs = 1500;
constexpr DWORD kReportWaitMs = 500;
// A device that reports continuously, silent for this long, is lost: a board reports dozens of
// times a second, while the system notices a link that died silently only after its supervision
// time-out, about 20 s. The host then hears of it within a few seconds, as of a board switched off.
constexpr DWORD kSilenceLimitMs = 3000;
// A negative host time-out (INFINITE among them) waits this long: one read of the reader, after
// which a report has come or the loss of the board is known. A host that loops on such calls then
// neither hangs nor spins.
constexpr DWORD kNegativeTimeoutWaitMs = kReportWaitMs;

inline DWORD HostWaitMs(int timeoutMs) {
  return timeoutMs < 0 ? kNegativeTimeoutWaitMs : static_cast<DWORD>(timeoutMs);
}

enum AbortCode : int {
  kAbortNone = 0,
  kAbortDisconnected = 1,
  kAbortUserButton = 2,
  kAbortBatteries = 3,
  kAbortStopStart = 4,
};

using SampleWord = uint16_t;  // a signed 16-bit sample as the host receives it

class DevOrxHID {
 public:
  DevOrxHID(HANDLE hid, const OrxString& deviceName, const OrxString& serial);
  DevOrxHID(const DevOrxHID&) = delete;
  DevOrxHID& operator=(const DevOrxHID&) = delete;

  // The virtual operations, in slot order.
  virtual ~DevOrxHID();                                                // 0
  virtual bool Initialise();                                           // 1
  virtual void StopReader();                                           // 2
  virtual bool ReadBuffer(char* buffer, int* size, int timeoutMs);     // 3
  virtual bool ReadLine(char* buffer, int size, int timeoutMs);        // 4
  virtual bool WriteBuffer(const char* data, int length, int ignored);  // 5
  virtual void FlushReadBuffer();                                      // 6
  virtual int ReadBuffSize();                                          // 7
  virtual int GetLastErrorMsg(char* buffer) = 0;                       // 8
  virtual bool IsFailed();                                             // 9
  virtual bool WaitForData(int timeoutMs);                             // 10
  virtual void StartSampling() = 0;                                    // 11
  virtual void StopSampling() = 0;                                     // 12
  virtual bool OnInputReport(const uint8_t* report, int length, int64_t timestamp) = 0;  // 13
  virtual void OnReadError(uint32_t code);                             // 14
  virtual int InputReportLength() = 0;                                 // 15
  virtual int ChannelCount() = 0;                                      // 16
  virtual bool ChannelCommand(int channel, const char* arguments) = 0;  // 17
  virtual bool SamplerCommand(const char* arguments) = 0;              // 18
  virtual bool ControlListCommand();                                   // 19
  virtual bool DeviceCommand(const char* arguments) = 0;               // 20

  // The host is done with this device (CloseAll): every wait of a close ends now, an open that is
  // still going gives up at its next step, and the reader is asked to end. The device itself goes
  // once no host call uses it.
  void BeginClose();
  // Set while the library unloads, under the loader lock: no thread may then be handed a
  // reference to the module, so a close waits for its reader for as long as the driver holds it.
  static void SetLibraryUnloading(bool unloading);

  const OrxString& Name() const { return name; }
  const OrxString& SerialNumber() const { return serialNumber; }
  // Tells this device from every other one of the process, also from one at the same index later.
  uint64_t Identity() const { return identity; }
  // IsFailed without the virtual call, for threads that may look while the device is destroyed.
  bool HasFailed() const { return failed.load(std::memory_order_acquire); }
  bool IsClosing() const { return closing.load(std::memory_order_acquire); }
  bool IsSampling() const { return sampling.load(std::memory_order_acquire); }
  bool IsDisconnected() const { return disconnected.load(std::memory_order_acquire); }
  bool KeepPaired() const { return keepPaired.load(); }

  // The message as it stands, and which one it is: every message stored, and every read that
  // clears one, counts.
  struct MessageSnapshot {
    OrxString text;
    uint64_t version = 0;
  };
  MessageSnapshot LastErrorSnapshot() const;
  // Clears the message read, unless a newer one came since that version: it waits for its read.
  void TakeLastError(uint64_t version);
  OrxString LastErrorText() const { return LastErrorSnapshot().text; }

  // Helpers for the device's command handlers.
  void QueueReply(const char* text);
  static int NextToken(const char* text, char* word);
  static int ParseFirstNumber(const char* text);
  static void LoadTextResource(uint16_t id, OrxString& text);

 protected:
  // Sends one output report now, through the link (which records it when a capture runs).
  uint32_t WriteReport(uint8_t* report, int length) { return link->WriteReport(report, length); }
  // Starts the report capture the environment asks for, if any; before the open's first report.
  void StartCapture();
  void FlushCapture(bool force) { link->FlushCapture(force); }
  // For report handlers and host threads, which must not block on a write: the reader, woken at
  // once, sends the report. False once the stop sealed the outbox: the report is not sent.
  bool PostOutputReport(const uint8_t* report) { return link->PostOutputReport(report); }
  // For PrepareLastWords: the reader's last report, which seals the outbox as it is posted.
  bool PostLastOutputReport(const uint8_t* report) { return link->PostLastOutputReport(report); }
  // For report handlers: the reader leaves reports unread for ms, then raises the abort and wakes
  // the host.
  void PauseReaderThenAbort(DWORD ms, int code);
  // The base open, for a device's Initialise that holds openLock: the rings and the reader.
  bool StartReader();
  uint32_t ReadInputReport(uint8_t* buffer, int* length);
  void ReportDisconnect(uint32_t code);
  void RaiseAbort(int code);
  void SetLastErrorText(const OrxString& text);
  // The device message read of the Parts: the size, or the text delivered once and then cleared.
  int ReadLastErrorMessage(char* buffer);
  // What a device sends as its reader's last words, posted with PostLastOutputReport (a board:
  // LED off). Called once, by the first stop, only while the reader runs.
  virtual void PrepareLastWords() {}
  // Closes the device: every wait ends, the reader parks or is orphaned, the device's share of the
  // handles goes and it leaves the registry. Safe to call more than once; the most derived
  // destructor calls it first, since the reader calls its operations.
  void CloseDevice();
  bool StopWasRequested() const { return stopRequested.load(std::memory_order_acquire); }
  // What is left of the close's budget, for what a derived close does after the device's.
  DWORD CloseTimeLeft() const;
  // Waits up to ms for the close: true once it came.
  bool WaitForClose(DWORD ms) const;
  // The sample ring has one consumer: every host thread that takes from it or empties it holds
  // this, never across a wait.
  void DiscardSamples();
  // True when the reader has parked, its work done (or none was ever started). Asks the reader's
  // own event, never the thread handle, which library detach cannot wait for.
  bool ReaderParked(DWORD waitMs) const;
  // What a parked reader ends with: 0 after a stop, else the code of the read that failed.
  DWORD ParkedReaderExitCode() const { return link->ExitCode(); }

  HANDLE hidHandle;
  std::atomic<HANDLE> readerThread{nullptr};
  HANDLE dataEvent = nullptr;
  std::atomic<bool> disconnected{false};
  std::atomic<bool> failed{false};
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> closing{false};
  // Set once the device reports continuously: from then on a long silence is a lost device.
  std::atomic<bool> reportsContinuously{false};
  int64_t counterFrequency = 0;
  OrxString name;
  OrxString serialNumber;
  char commandLine[kCommandLineSize] = {0};  // guarded by commandLock
  int commandLength = 0;                      // guarded by commandLock
  OpenedRing<SampleWord> sampleRing;
  OpenedRing<char> textRing;
  // Host threads may call in at once. One opens at a time, one collects command text at a time,
  // and each ring has one consumer; none of these is held across a wait the host did not ask for.
  std::mutex openLock;
  std::mutex commandLock;
  std::mutex sampleTakeLock;
  std::mutex lineTakeLock;
  std::atomic<bool> sampling{false};
  int64_t lastReportTime = 0;
  std::atomic<int64_t> samplingStartTime{0};  // written by the host, read by the reader thread
  std::atomic<uint32_t> eventTick{0};
  std::atomic<bool> abortPending{false};
  std::atomic<int> abortCode{kAbortNone};
  std::atomic<int> abortAfterPause{kAbortNone};  // raised by the reader at the end of its pause
  std::atomic<bool> batteryLow{false};
  std::atomic<bool> keepPaired{true};
  std::atomic<bool> showBatteryWarning{true};

 private:
  // The thread's argument is a heap copy of the device's share of the link.
  static DWORD WINAPI ReaderThread(void* share);
  static DWORD RunReader(ReaderLink& link);
  // After the pause a report handler asked for: raises its abort; true to wake the host.
  bool FinishReaderPause();
  bool ParseCommandLine(const char* line);
  bool GenericCommand(const char* arguments);
  bool DeliverAbort(char* buffer, int* size, int timeoutMs);
  bool DeliverDisconnectLine(const char* line, char* buffer, int room, int timeoutMs);
  // A line too long for the host's buffer stays due; answering false at once would let a host
  // that reads in a loop spin, so the call takes the host's time-out, as an empty read does.
  bool RefuseAfterTimeout(int timeoutMs) const;

  // Asks the reader to end, after its last words; once only.
  void RequestStop();
  // Waits up to waitMs for the reader to park; a reader still busy then is cut off from this
  // object and orphaned with a module reference. Under the unload, where no reference may be
  // taken, waits for as long as the driver holds it. Afterwards the reader never reaches this.
  void SettleReader(DWORD waitMs);
  // A reference to the module, for a reader that may outlive the close.
  static HMODULE ModuleReference();

  enum class ReaderState { kNone, kRunning, kParked, kOrphaned };

  const uint64_t identity;
  std::shared_ptr<ReaderLink> link;
  // The reader's own share, which becomes the device's once it has parked.
  std::shared_ptr<ReaderLink>* readerShare = nullptr;
  std::atomic<ReaderState> readerState{ReaderState::kNone};
  // The start of the reader and the close are ordered: a device closing never gets a reader.
  mutable std::mutex readerStartLock;
  mutable std::mutex lastErrorLock;  // lastError is written by the reader thread too
  OrxString lastError;
  uint64_t lastErrorVersion = 0;  // counts the messages stored and taken
  bool closed = false;
  DWORD closeStarted = 0;  // the tick count when CloseDevice began
};

// Every device that exists, in order of construction.
class DeviceRegistry {
 public:
  static void Add(DevOrxHID* device);
  static void Remove(DevOrxHID* device);
  // True when any device with this serial number (compared exactly) has not failed.
  static bool IsAlreadyOpen(const OrxString& serial);
  // The serial numbers of the boards held: of the devices that have neither failed nor begun to close.
  static std::vector<OrxString> SerialsInUse();
  static int Count();
};

}  // namespace Kestrel
