// Opening a board: identify its extension, read the factory calibration, switch it to
// continuous sensor reports and light LED 1, then start the device's reader.
#include "board/wbalance_board.h"

#include "wii/wii_reports.h"

#include <cstring>

namespace Kestrel {

namespace {
// A garbled reply to a memory read is asked again this often in all before the open fails.
constexpr int kMemoryReadAttempts = 3;
}  // namespace

bool WBalanceBoard::Initialise() {
  // A second host thread opening at once waits for the first open and answers as it does.
  std::lock_guard<std::mutex> opening(openLock);
  // Once open, the reader thread owns readEvent: a second open must not talk to the board.
  if (readerThread) return !IsFailed() && !IsDisconnected();
  if (IsFailed() || IsClosing()) return false;
  StartCapture();
  uint32_t code = OpenSequence();
  FlushCapture(true);
  if (IsClosing()) return false;
  if (code != 0) {
    ReportDisconnect(code);
    failed.store(true, std::memory_order_release);
    return false;
  }
  if (StartReader()) return true;
  // No reader will ever switch it off.
  if (ledOn.load(std::memory_order_acquire)) SetLed(false);
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
  if (!(flags & kStatusExtension)) return 0;  // opened, but it will make no samples

  code = WriteRegister(kRegisterExtensionInitFirst, kExtensionInitFirstValue);
  if (code != 0) return code;
  code = WriteRegister(kRegisterExtensionInitSecond, kExtensionInitSecondValue);
  if (code != 0) return code;
  uint8_t type[2] = {0, 0};
  code = ReadMemoryWhole(kRegisterExtensionType, 2, type);
  if (code != 0) return code;
  if (std::memcmp(type, kExtensionTypeBoard, sizeof type) != 0) return 0;

  code = ReadCalibration();
  if (code != 0) return code;

  code = SetReportingMode(kReportButtonsExtension, true);
  if (code == 0) reportsContinuously.store(true, std::memory_order_release);
  SetLed(true);
  return code;
}

uint32_t WBalanceBoard::ReadMemoryWhole(uint32_t address, int length, uint8_t* destination) {
  for (int attempt = 0; attempt < kMemoryReadAttempts; ++attempt) {
    bool copied = false;
    uint32_t code = ReadMemory(address, length, destination, &copied);
    if (code != 0 || copied) return code;
  }
  return kResultUnexpectedReply;
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
