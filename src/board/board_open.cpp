// Opening a board: identify its extension, read the factory calibration, light LED 1 and switch
// it to continuous sensor reports, then start the device's reader.
#include "board/wbalance_board.h"

#include "wii/wii_reports.h"

#include <cstring>

namespace Kestrel {

namespace {
// A garbled or error reply to a memory read is asked again this often in all before the open
// fails.
constexpr int kMemoryReadAttempts = 3;
}  // namespace

bool WBalanceBoard::Initialise() {
  // A second host thread opening at once waits for the first open and answers as it does.
  std::lock_guard<std::mutex> opening(openLock);
  // Once open, the reader thread owns readEvent: a second open must not talk to the board.
  if (readerThread) return !IsFailed() && !IsDisconnected();
  if (IsFailed() || IsClosing()) return false;
  StartCapture();
  openLitLed = false;
  uint32_t code = OpenSequence();
  FlushCapture(true);
  if (code == 0 && !IsClosing() && StartReader()) return true;
  // No reader will ever switch it off.
  if (openLitLed) SwitchLedOffAfterOpen();
  if (IsClosing()) return false;
  if (code != 0) {
    ReportDisconnect(code);
    failed.store(true, std::memory_order_release);
  }
  return false;
}

uint32_t WBalanceBoard::OpenSequence() {
  // Plain button reports first, so the replies below are not lost among data reports. Whether
  // the board confirms it does not matter.
  SetReportingMode(kReportButtons, false);

  int battery = 0;
  uint8_t flags = 0;
  uint32_t code = RequestStatus(&battery, &flags);
  if (code != 0) return code;
  if (flags & kStatusBatteryLow) batteryLow.store(true, std::memory_order_release);
  // The status report switched the board's reports off: a board opened without samples still
  // reports its button.
  if (!(flags & kStatusExtension)) return RestoreButtonReports();

  code = WriteRegister(kRegisterExtensionInitFirst, kExtensionInitFirstValue);
  if (code != 0) return code;
  code = WriteRegister(kRegisterExtensionInitSecond, kExtensionInitSecondValue);
  if (code != 0) return code;
  uint8_t type[2] = {0, 0};
  code = ReadMemoryWhole(kRegisterExtensionType, 2, type);
  if (code != 0) return code;
  if (std::memcmp(type, kExtensionTypeBoard, sizeof type) != 0) return RestoreButtonReports();

  code = ReadCalibration();
  if (code != 0) return code;

  // The mode goes last: a status report the board sends by itself ends its reporting, and one
  // that came after the mode had been set would leave the board silent.
  // Tried is as good as lit: a write that failed may still have reached the board.
  openLitLed = SetLed(true) != ERROR_OPERATION_ABORTED;
  code = SetReportingMode(kReportButtonsExtension, true);
  if (code == 0) reportsContinuously.store(true, std::memory_order_release);
  return code;
}

uint32_t WBalanceBoard::RestoreButtonReports() {
  SetReportingMode(kReportButtons, false);
  return 0;
}

uint32_t WBalanceBoard::ReadMemoryWhole(uint32_t address, int length, uint8_t* destination) {
  uint32_t code = 0;
  for (int attempt = 0; attempt < kMemoryReadAttempts; ++attempt) {
    if (code == kResultBusy && WaitForClose(kBusyPauseMs)) return ERROR_OPERATION_ABORTED;
    bool copied = false;
    code = ReadMemory(address, length, destination, &copied);
    if (copied) return 0;
    // An error reply is asked again like a garbled one; any other failure ends the read.
    bool errorReply = code > kResultAckErrorBase && code <= kResultAckErrorBase + kMemoryErrorMask;
    if (code != 0 && !errorReply) return code;
  }
  return code != 0 ? code : kResultUnexpectedReply;
}

uint32_t WBalanceBoard::ReadCalibration() {
  uint8_t block[kCalibrationBlockSize];
  std::memset(block, 0, sizeof block);
  std::memset(calibration, 0, sizeof calibration);
  uint32_t code = ReadMemoryWhole(kRegisterCalibration, kCalibrationFirstRead, block);
  if (code != 0) return code;
  code = ReadMemoryWhole(kRegisterCalibrationRest, kCalibrationBlockSize - kCalibrationFirstRead,
                         block + kCalibrationFirstRead);
  if (code != 0) return code;
  for (int point = 0; point < kCalibrationPoints; ++point) {
    for (int sensor = 0; sensor < kSensorCount; ++sensor) {
      const uint8_t* reading = block + 2 * kSensorCount * point + 2 * sensor;
      calibration[sensor][point] = reading[0] << 8 | reading[1];
    }
  }
  return 0;
}

}  // namespace Kestrel
