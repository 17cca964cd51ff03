// WBalanceBoard: one Wii Balance Board, opened as a four-channel instrument.
#pragma once

#include "board/board_constants.h"
#include "wii/wii_orx_hid.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace Kestrel {

class WBalanceBoard : public WiiOrxHID {
 public:
  WBalanceBoard(HANDLE hid, const OrxString& deviceName, const OrxString& serial);
  ~WBalanceBoard() override;

  bool Initialise() override;
  int GetLastErrorMsg(char* buffer) override;
  void StartSampling() override;
  void StopSampling() override;
  bool OnInputReport(const uint8_t* report, int length, int64_t timestamp) override;
  int InputReportLength() override;
  int ChannelCount() override;
  bool ChannelCommand(int channel, const char* arguments) override;
  bool SamplerCommand(const char* arguments) override;
  bool ControlListCommand() override;
  bool DeviceCommand(const char* arguments) override;

 protected:
  // The report exchanges (wii_reports.cpp). Each returns 0, 258 when the awaited report did not
  // come, 0x5000 for an unexpected reply, 0x5100 plus the device's error code, or the system's
  // error of the write or the status of the read. They share readEvent: never on two threads.

  // Reads reports until wanted accepts one, within kAwaitReportLimitMs; 0 with it in reply, or
  // the read's status, or kResultNoReply when other reports kept coming.
  uint32_t AwaitReport(uint8_t* reply, int* length, const std::function<bool(const uint8_t*, int)>& wanted);
  // Writes a 22-byte output report: 0 once it was sent, else the reason it was not.
  uint32_t SendOutputReport(uint8_t* report);
  // Reads until the first report that is neither a data report, a status report nor an
  // acknowledgement of another request; it must be the acknowledgement of the write.
  uint32_t WaitForAck();
  // Sends the mode and reads until the first report in that mode; sends it again when a status
  // report comes first (kModeAttempts in all).
  uint32_t SetReportingMode(uint8_t mode, bool continuous);
  // Reads length (1 to 16) bytes at address. Only a memory-data reply for this address counts;
  // other reports are skipped. The destination is written only when that reply is full and
  // carries no error, otherwise left as it was: callers zero it first. *copied, when given, tells
  // which it was; the result is 0, 0x5100 plus the reply's error, or kResultNoReply when no reply
  // for this address came.
  uint32_t ReadMemory(uint32_t address, int length, uint8_t* destination, bool* copied = nullptr);
  // Writes one byte; a write answered "busy" is sent again, kBusyAttempts in all.
  uint32_t WriteRegister(uint32_t address, uint8_t value);
  // Skips data reports and acknowledgements of other requests; the next report must be the
  // status. battery: 0 to 127; flags: bit 0 batteries nearly empty, bit 1 extension connected.
  uint32_t RequestStatus(int* battery, uint8_t* flags);
  // Lights or darkens LED 1, from the opening host thread; the write's result.
  uint32_t SetLed(bool on);
  // The same from a report handler or a host thread: the reader sends it.
  void RequestLed(bool on);
  // LED off as the reader's last output report.
  void PrepareLastWords() override;

  // Factory readings by sensor and reference point (0, 17 and 34 kg). Written only by the open
  // sequence, before the reader thread exists.
  int32_t calibration[kSensorCount][kCalibrationPoints] = {};

  // Pacing and zeroing belong to the thread that handles reports (the reader thread). The host's
  // commands reach them through the requests below, which that thread takes at its next report.
  int32_t usRemainder = 0;
  // What the board was last told about LED 1; the reader thread reads it.
  std::atomic<bool> ledOn{true};
  std::atomic<bool> zeroCollecting{false};
  std::atomic<bool> zeroEnabled{false};
  int32_t zeroCount = 0;
  // Per channel: the running sums while collecting, the averages after. Sums of 100 values that a
  // poor calibration can make large, hence 64 bits.
  int64_t zeroOffset[kBoardChannelCount] = {};

  // Set by StartSampling before it sets sampling: the next report measures from samplingStartTime.
  std::atomic<bool> restartRequested{false};
  // Set by "bb_zeroAllChans 2": the next report while sampling starts a new collection.
  std::atomic<bool> zeroArmRequested{false};
  // The button stopped this run: no report makes a frame until the next run, so no frame from
  // after the press reaches the host before the abort line. Reader thread; StartSampling clears it.
  std::atomic<bool> stoppedByButton{false};
  // This open lit LED 1: if it fails, it switches it off again (openLock).
  bool openLitLed = false;

 private:
  // The open sequence up to the base open: 0, or the code that failed it.
  uint32_t OpenSequence();
  uint32_t ReadCalibration();
  // ReadMemory that asks again when the reply is not a full memory-data report or carries an
  // error, and fails with 0x5100 plus the error, or kResultUnexpectedReply, when none is: the
  // open must not go on with bytes it never received.
  uint32_t ReadMemoryWhole(uint32_t address, int length, uint8_t* destination);
  // Puts the board back to button reports after a status report switched them off; 0.
  uint32_t RestoreButtonReports();
  // LED off from the opening host thread, as its last report, even once a close has come.
  void SwitchLedOffAfterOpen();
  bool OnIdleReport(const uint8_t* report);
  void OnStatusReport();
  void AskForContinuousReports();
  void StopByButton();
  void StopForBatteries();
  bool OnSampledReport(const uint8_t* report, int64_t timestamp);
  void TakeRequests();
  int32_t PaceFrames(int64_t timestamp);
  void ApplyZeroing(int32_t* values);
  void AppendFrames(const int32_t* values, int32_t count);
  bool SettingsCommand(const char* word);
  void QueueWideReply(const OrxString& text);
  bool ServeControlList(uint16_t resourceId);
};

}  // namespace Kestrel
