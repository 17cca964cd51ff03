// Sampling runs: every sensor report becomes one frame in kilogram units, paced to a steady
// 100 frames a second of counter time, zeroed on request and appended to the sample ring.
#include "board/wbalance_board.h"

#include "board/sample_conversion.h"
#include "wii/wii_reports.h"

namespace Kestrel {

void WBalanceBoard::StartSampling() {
  DiscardSamples();  // the consumer's side: safe even if a run is going on
  // A new run forgets the aborts of the one before: raised, or still to come after a press's pause.
  abortAfterPause.store(kAbortNone, std::memory_order_release);
  abortPending.store(false, std::memory_order_release);
  stoppedByButton.store(false, std::memory_order_release);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  samplingStartTime.store(now.QuadPart, std::memory_order_relaxed);
  // Published before sampling: the first report that sees the run also sees where it began.
  restartRequested.store(true, std::memory_order_release);
  sampling.store(true, std::memory_order_release);
  // A run starts from a board that surely reports: whatever stopped it while idle (a status
  // report the reader missed, a reset), the mode again makes it stream. The reader sends it.
  AskForContinuousReports();
}

void WBalanceBoard::StopSampling() { sampling.store(false, std::memory_order_release); }

bool WBalanceBoard::OnInputReport(const uint8_t* report, int, int64_t timestamp) {
  if (report[0] == kReportStatus) {
    OnStatusReport();
    return false;
  }
  if (!sampling.load(std::memory_order_acquire)) return OnIdleReport(report);
  if (stoppedByButton.load(std::memory_order_acquire)) return false;
  TakeRequests();
  if (report[0] != kReportButtonsExtension) return false;
  if (!ledOn.load(std::memory_order_acquire)) RequestLed(true);
  if (report[kButtonByte] & kButtonBit) {
    StopByButton();
    return false;  // the host is woken with the abort, after the pause
  }
  return OnSampledReport(report, timestamp);
}

namespace {
// Takes a request posted by the host. The plain load first keeps the usual case (nothing
// posted) free of a locked read-modify-write on every report.
bool Take(std::atomic<bool>& request) {
  return request.load(std::memory_order_relaxed) && request.exchange(false, std::memory_order_acquire);
}
}  // namespace

void WBalanceBoard::TakeRequests() {
  if (Take(restartRequested)) {
    lastReportTime = samplingStartTime.load(std::memory_order_relaxed);
    usRemainder = 0;
  }
}

bool WBalanceBoard::OnSampledReport(const uint8_t* report, int64_t timestamp) {
  int32_t raw[kSensorCount];
  bool allZero = true;
  for (int s = 0; s < kSensorCount; ++s) {
    raw[s] = report[kSensorDataOffset + 2 * s] << 8 | report[kSensorDataOffset + 2 * s + 1];
    allZero = allZero && raw[s] == 0;
  }
  if (allZero) StopForBatteries();  // the report still counts

  int32_t values[kBoardChannelCount];
  for (int c = 0; c < kBoardChannelCount; ++c) {
    const int32_t* points = calibration[kChannelSensor[c]];
    values[c] = ConvertReading(raw[kChannelSensor[c]], points[kCalibrationZeroPoint], points[kCalibrationTopPoint]);
  }
  int32_t frames = PaceFrames(timestamp);
  ApplyZeroing(values);
  AppendFrames(values, frames);
  return true;
}

int32_t WBalanceBoard::PaceFrames(int64_t timestamp) {
  int32_t elapsed = ElapsedMicros(TicksBetween(lastReportTime, timestamp), counterFrequency);
  lastReportTime = timestamp;
  return FramesFor(elapsed, usRemainder);
}

void WBalanceBoard::ApplyZeroing(int32_t* values) {
  if (Take(zeroArmRequested)) {
    zeroCount = 0;
    for (int64_t& offset : zeroOffset) offset = 0;
    zeroCollecting.store(true, std::memory_order_release);
  }
  bool collecting = zeroCollecting.load(std::memory_order_relaxed);
  if (collecting) {
    for (int c = 0; c < kBoardChannelCount; ++c) zeroOffset[c] += values[c];
    if (++zeroCount >= kZeroReports) {
      for (int64_t& offset : zeroOffset) offset /= kZeroReports;
      collecting = false;
      zeroCollecting.store(false, std::memory_order_release);
    }
  }
  if (zeroEnabled.load(std::memory_order_acquire) && !collecting)
    for (int c = 0; c < kBoardChannelCount; ++c) values[c] = static_cast<int32_t>(values[c] - zeroOffset[c]);
}

void WBalanceBoard::AppendFrames(const int32_t* values, int32_t count) {
  SampleWord frame[kBoardChannelCount];
  for (int c = 0; c < kBoardChannelCount; ++c)
    frame[c] = static_cast<SampleWord>(static_cast<int16_t>(ClampSample(values[c])));
  // Whole frames or none: once the ring is full the rest of this report's copies are dropped.
  for (int32_t i = 0; i < count; ++i)
    if (!sampleRing || !sampleRing->AddAll(frame, kBoardChannelCount)) break;
}

}  // namespace Kestrel
