// A simulated balance board on its HID device path, opened as a WBalanceBoard whose report
// exchanges the tests may call. Tears everything down again in order.
#pragma once

#include "board/wbalance_board.h"
#include "discovery/hid_library.h"
#include "platform/posix/control.h"
#include "sim/balance_board.h"
#include "wii/wii_reports.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace testing_support {

class ExchangeBoard : public Kestrel::WBalanceBoard {
 public:
  using WBalanceBoard::WBalanceBoard;
  // The reader calls the overrides below: it must be gone before this part is.
  ~ExchangeBoard() override { StopReader(); }
  using DevOrxHID::ReadInputReport;
  using WBalanceBoard::ReadMemory;
  using WBalanceBoard::RequestStatus;
  using WBalanceBoard::SendOutputReport;
  using WBalanceBoard::SetLed;
  using WBalanceBoard::SetReportingMode;
  using WBalanceBoard::WaitForAck;
  using WBalanceBoard::WriteRegister;
  bool LedOn() const { return ledOn.load(); }
  bool IsBoard() const { return isBalanceBoard; }

  // Opens the board with its reader thread already stopped, so a test hands it the reports, with
  // timestamps of its own choosing, through OnInputReport.
  bool OpenWithoutReader() {
    StopReader();
    return Initialise();
  }
  int32_t Calibration(int sensor, int point) const { return calibration[sensor][point]; }
  int64_t SamplingStart() const { return samplingStartTime.load(); }
  int64_t TicksPerSecond() const { return counterFrequency; }
  int32_t Remainder() const { return usRemainder; }
  bool ZeroCollecting() const { return zeroCollecting.load(); }
  bool BatteryLow() const { return batteryLow.load(); }
  bool AbortPending() const { return abortPending.load(); }
  int PendingAbortCode() const { return abortCode.load(); }
  bool ReaderRunning() { return readerThread && !ReaderParked(0); }

  // Notes the timestamp of every sensor report handled while sampling.
  bool OnInputReport(const uint8_t* report, int length, int64_t timestamp) override {
    bool sampled = IsSampling() && report[0] == Kestrel::kReportButtonsExtension;
    bool result = WBalanceBoard::OnInputReport(report, length, timestamp);
    if (sampled) lastSampledReport.store(timestamp);
    return result;
  }
  std::atomic<int64_t> lastSampledReport{0};

  // Runs on the closing thread once the board has asked for its last words, before the stop.
  std::function<void()> afterLastWords;
  void PrepareLastWords() override {
    WBalanceBoard::PrepareLastWords();
    if (afterLastWords) afterLastWords();
  }
};

struct BoardRig {
  explicit BoardRig(const sim::BoardSettings& settings = sim::BoardSettings())
      : board(sim::BalanceBoard::Create(settings)), path(sim::BalanceBoard::DevicePathFor(settings.serialNumber)) {
    HidDllTable::Instance().ResetForTesting();
    HidDllTable::Instance().Acquire();
    sim::RegisterHidDevice(path, board);
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    device = std::make_unique<ExchangeBoard>(handle, L"Nintendo RVL-WBC-01", settings.serialNumber.c_str());
  }
  ~BoardRig() {
    device.reset();  // the LED-off exchange, then the handle closes
    sim::UnregisterHidDevice(path);
    board.reset();
  }

  // The output reports the board received, from the last one back.
  std::vector<uint8_t> LastOutput(size_t back = 0) const {
    auto all = board->OutputReports();
    return all.size() > back ? all[all.size() - 1 - back] : std::vector<uint8_t>();
  }

  std::shared_ptr<sim::BalanceBoard> board;
  std::wstring path;
  std::unique_ptr<ExchangeBoard> device;
};

// A board whose calibration and battery differ from the defaults, with every calibration byte
// distinct and the top bit set at the heaviest point, so a misplaced or sign-extended byte shows.
inline sim::BoardSettings UnusualBoard() {
  sim::BoardSettings settings;
  settings.serialNumber = L"0022aa4b6c8d";
  for (size_t s = 0; s < sim::kSensorCount; ++s) {
    settings.calibration.readings[0][s] = static_cast<uint16_t>(0x1234 + 0x111 * s);
    settings.calibration.readings[1][s] = static_cast<uint16_t>(0x3456 + 0x101 * s);
    settings.calibration.readings[2][s] = static_cast<uint16_t>(0xF678 + 0x0FF * s);
  }
  settings.batteryLevel = 0xB4;
  return settings;
}

// A board as real ones are: about 100 reports a second, unevenly; readings with a little noise,
// a little above zero empty, and a middle calibration point off the line (the outer two sensors
// carry a published real block: top right 3291 / 4955 / 6638, bottom right 2346 / 4056 / 5775).
inline sim::BoardSettings RealBoard() {
  sim::BoardSettings settings;
  settings.calibration.readings = {{{3291, 2346, 1688, 8237}, {4955, 4056, 3401, 9958}, {6638, 5775, 5120, 11690}}};
  settings.reportIntervalMicros = 10'000;
  settings.reportJitterMicros = 0;
  settings.unevenReports = true;
  settings.noiseUnits = 4;
  settings.zeroOffsetKilograms = 0.3;
  return settings;
}

// Runs a test on the virtual clock, so that its waits cost no real time.
class VirtualClock {
 public:
  VirtualClock() { posix::UseVirtualClock(true); }
  ~VirtualClock() { posix::UseVirtualClock(false); }
};

}  // namespace testing_support
