// A simulated balance board: a HID endpoint that speaks the Wii-remote report protocol as the
// real board does. It answers output reports with status, memory-data, acknowledgement and data
// reports, streams data reports at its own interval once told to, and turns a load model into
// sensor readings through its factory calibration. Tests can make it misbehave. Given a capture of
// a board's reports, it answers from that instead (balance_board_capture.cpp).
#pragma once

#include "sim/board_registers.h"
#include "sim/captured_replies.h"
#include "sim/clock.h"
#include "sim/hid_device.h"
#include "sim/load_model.h"
#include "sim/sampling_starts.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <map>
#include <string>
#include <vector>

namespace sim {

constexpr uint16_t kNintendoVendorId = 0x057E;
constexpr uint16_t kWiiRemoteProductId = 0x0306;
constexpr size_t kBoardReportLength = 22;  // every input and output report, with its id
constexpr uint8_t kBatteryFull = 0xC8;
// Bluetooth's default link supervision time-out (0x7D00 slots of 0.625 ms) and page time-out
// (0x2000 slots): how long a silent link lasts, and how long an output report on it blocks.
constexpr uint64_t kDefaultSupervisionMicros = 20'000'000;
constexpr uint64_t kPageTimeoutMicros = 5'120'000;

// One misbehaviour, applied to the reply to the next output report with a given id.
struct ReplyFault {
  // kNoReply: the report takes effect but its reply is lost; kLost: the report itself is lost;
  // kLate: the reply comes only after lateMicros; kReadError: a memory read is answered with the
  // error code value in its reply's low nibble, size nibble 0xF and no data.
  enum class Kind { kNone, kNoReply, kLost, kOtherId, kShort, kAckError, kRejectWrite, kLate, kReadError };
  Kind kind = Kind::kNone;
  uint8_t value = 0;          // kOtherId: the id sent; kShort: bytes sent; kAckError, kReadError: the code
  DWORD writeError = 0;       // kRejectWrite: the error HidD_SetOutputReport fails with
  int dataReportsFirst = 0;   // reports sent before the reply (also with kNone)
  // What those reports are: 0x30, the button report a press sends in the power-on mode; 0x32, a
  // sensor report; 0x20, a status report the board sends by itself (its extension's state
  // changed), which leaves it reporting nothing until it is told a mode again.
  uint8_t dataReportId = 0x32;
  uint64_t lateMicros = 0;

  static ReplyFault NoReply() { return {Kind::kNoReply, 0, 0, 0, 0x32}; }
  static ReplyFault Lost() { return {Kind::kLost, 0, 0, 0, 0x32}; }
  static ReplyFault OtherId(uint8_t id) { return {Kind::kOtherId, id, 0, 0, 0x32}; }
  static ReplyFault Short(uint8_t bytes) { return {Kind::kShort, bytes, 0, 0, 0x32}; }
  static ReplyFault AckError(uint8_t code) { return {Kind::kAckError, code, 0, 0, 0x32}; }
  static ReplyFault RejectWrite(DWORD error) { return {Kind::kRejectWrite, 0, error, 0, 0x32}; }
  static ReplyFault DataReportsFirst(int count, uint8_t id = 0x32) { return {Kind::kNone, 0, 0, count, id}; }
  static ReplyFault StatusFirst() { return DataReportsFirst(1, 0x20); }
  static ReplyFault Late(uint64_t micros) { return {Kind::kLate, 0, 0, 0, 0x32, micros}; }
  static ReplyFault ReadError(uint8_t code) { return {Kind::kReadError, code, 0, 0, 0x32}; }
};

struct BoardSettings {
  std::wstring serialNumber = L"0017ab3c4d5e";  // the Bluetooth address, twelve lower-case hex digits
  Calibration calibration = DefaultCalibration();
  uint8_t batteryLevel = 0xC0;
  uint64_t reportIntervalMicros = 16'667;  // about 60 reports a second, as a real board
  uint64_t reportJitterMicros = 2'000;     // each report up to this much early or late
  uint64_t replyLatencyMicros = 1'000;     // 0: the reply is queued before the output report returns
  uint32_t randomSeed = 1;
  bool extensionReported = true;  // false: its status says no extension is connected
  // The driver behind its HID device: how long a cancelled read stays pending (kNeverCancelled:
  // until its file closes), and how long every output report blocks its sender.
  uint64_t cancelDelayMicros = 0;
  uint64_t writeDelayMicros = 0;
  // What a real board adds to the default world's clean readings.
  uint16_t noiseUnits = 0;           // each reading up to this many raw units high or low
  double zeroOffsetKilograms = 0.0;  // what the board reads empty, shared by its sensors
  // Each gap between two reports drawn anew around the interval, instead of a steady beat.
  bool unevenReports = false;
  // After its link went silent, the system gives up on the board after this long.
  uint64_t supervisionMicros = kDefaultSupervisionMicros;
  // Armed from the start, in order: (output report id, what goes wrong with its next reply).
  std::vector<std::pair<uint8_t, ReplyFault>> faults;
  // A board that replays a capture: every answer comes from it, none from the board's own model.
  std::shared_ptr<const Capture> capture;
  // Where the board marks the host's run starts, for a recording that waits for them; may be null.
  std::shared_ptr<SamplingStarts> samplingStarts;
};

class BalanceBoard : public HidDevice {
 public:
  static std::shared_ptr<BalanceBoard> Create(const BoardSettings& settings = BoardSettings());
  ~BalanceBoard() override;

  // The HID device path under which Windows lists a board with this Bluetooth address.
  static std::wstring DevicePathFor(const std::wstring& serialNumber);

  bool OnOutputReport(const uint8_t* data, size_t length, DWORD* error) override;

  // --- the world's controls ---
  void SetLoadModel(std::shared_ptr<const LoadModel> model);
  void SetButton(bool pressed);
  void SetBatteryLevel(uint8_t level);
  // Flat batteries: the sensors read all zero and the status says the batteries are low.
  void SetBatteriesFailing(bool failing);
  void SetReportInterval(uint64_t intervalMicros, uint64_t jitterMicros);
  void ArmFault(uint8_t outputReportId, const ReplyFault& fault);
  // Switched off or out of range: reads and output reports fail with ERROR_DEVICE_NOT_CONNECTED.
  void PowerOff();
  // Switched on again, in its power-on state.
  void PowerOn();
  // Out of range without a word: no report arrives any more, and an output report blocks until
  // the page time-out and then fails with ERROR_SEM_TIMEOUT, until the link is declared lost
  // (PowerOff) or the board comes back (PowerOn).
  void GoSilent();
  // As a remote does when its extension's state changes: a status report by itself, after which
  // it sends no data reports until the host sets the reporting mode again.
  void SendStatusReport();

  // --- what a test observes ---
  std::vector<std::vector<uint8_t>> OutputReports() const;
  uint8_t ReportingMode() const;
  bool ContinuousReporting() const;
  uint8_t Leds() const;  // bit 0 is LED 1
  bool ExtensionReady() const;
  bool PoweredOn() const;
  bool Silent() const;
  int DataReportsSent() const;
  // The performance counter at which the latest data report was sent (0: none yet): where a
  // report's way to the host starts.
  int64_t LatestDataReportCounter() const { return latestDataReportCounter_.load(std::memory_order_acquire); }
  // The four big-endian readings a data report carries now.
  std::array<uint16_t, kSensorCount> SensorReadings() const;

 private:
  explicit BalanceBoard(const BoardSettings& settings);

  using Report = std::vector<uint8_t>;
  std::weak_ptr<BalanceBoard> WeakSelf();
  Report NewReportLocked(uint8_t id) const;
  Report DataReportLocked(uint8_t id) const;
  Report StatusReportLocked() const;
  Report AckLocked(uint8_t outputId, uint8_t error) const;
  std::vector<Report> AckIfAskedLocked(const uint8_t* report) const;
  bool TakeOutputReportLocked(const uint8_t* data, DWORD* error);
  Report ExtraReportLocked(uint8_t id);
  std::vector<Report> HandleLocked(const uint8_t* report);
  std::vector<Report> ReadMemoryLocked(const uint8_t* report) const;
  void ApplyFault(const ReplyFault& fault, std::vector<Report>& replies) const;
  void StopReportingLocked();
  void DeliverLocked(std::vector<Report> replies, uint64_t latencyMicros);
  void SendLocked(const Report& report);
  void StartStreamingLocked();
  void StopStreamingLocked();
  void StopTimersLocked();
  void ScheduleNextReportLocked();
  uint64_t NextGapLocked();
  void OnReportTimer(uint64_t stream);
  void OnReplyTimer(uint64_t token, const std::vector<Report>& replies);
  std::array<uint16_t, kSensorCount> SensorReadingsLocked() const;
  void PowerOnStateLocked();
  void NoteModeLocked(bool resumesAfterStatus);
  // Answers from a capture (balance_board_capture.cpp).
  void AnswerFromCaptureLocked(const uint8_t* report);
  void PlayNextLocked();
  void OnPlayTimer(uint64_t play);
  void StopPlayingLocked();

  mutable std::mutex stateLock_;
  BoardSettings settings_;
  BoardRegisters registers_;
  std::shared_ptr<const LoadModel> load_;
  uint64_t poweredOnAt_;
  bool powered_ = true;
  bool silent_ = false;
  bool button_ = false;
  bool batteriesFailing_ = false;
  uint8_t batteryLevel_;
  uint8_t mode_ = 0x30;
  bool continuous_ = false;
  uint8_t leds_ = 0;
  int dataReportsSent_ = 0;
  std::atomic<int64_t> latestDataReportCounter_{0};  // read without the state lock
  std::deque<std::pair<uint8_t, ReplyFault>> faults_;
  std::vector<Report> outputs_;
  TimerId reportTimer_ = 0;
  uint64_t stream_ = 0;        // which stream of data reports is current; old timers see a change
  uint64_t nextReportAt_ = 0;  // the nominal time, before jitter
  std::map<uint64_t, TimerId> replyTimers_;  // by token
  uint64_t nextReplyToken_ = 1;
  mutable std::mt19937 random_;  // also draws the sensors' noise
  // The next continuous-reports request ends a host's open rather than starting its run.
  bool openEndsNext_ = true;
  std::unique_ptr<CapturedReplies> capturedReplies_;
  // The captured answer being played: each report at its time of the host clock.
  struct DueReport {
    uint64_t atMicros;
    const std::vector<uint8_t>* report;
  };
  std::vector<DueReport> playing_;
  size_t playNext_ = 0;
  uint64_t play_ = 0;  // which answer is being played; old timers see a change
  TimerId playTimer_ = 0;
};

}  // namespace sim
