#include "files/capture_reader.h"

#include "board/board_constants.h"
#include "board/sample_conversion.h"
#include "recording/capture_lines.h"
#include "recording/text_file.h"
#include "recording/text_lines.h"
#include "wii/wii_reports.h"

#include <algorithm>
#include <cstring>

namespace kymhost {

namespace {

using namespace Kestrel;

constexpr int64_t kMicrosPerSecondCounter = 1000000;  // the capture's times are its ticks
constexpr double kKgPerUnit = static_cast<double>(kKilogramsFullScale) / kSampleFullScale;
constexpr size_t kSensorReportLength = kSensorDataOffset + 2 * kSensorCount;

// The run's reports as the plug-in took them.
class CaptureRun {
 public:
  CaptureRun(TimedTrial& trial) : trial_(trial) {}
  // False, saying why, for a sensor report before the calibration is known.
  bool Take(const recording::CapturedReport& report, long line, std::string& why);
  bool Calibrated() const { return calibrated_[0] && calibrated_[1]; }
  bool Started() const { return started_; }

 private:
  void Calibration(const std::vector<uint8_t>& bytes);
  void Sample(const recording::CapturedReport& report, long line);

  TimedTrial& trial_;
  uint8_t block_[kCalibrationBlockSize] = {};
  bool calibrated_[2] = {false, false};
  // statusSince_: a status report came after the last output report.
  bool openAsked_ = false, statusSince_ = false, started_ = false, ended_ = false;
  uint64_t startMicros_ = 0, lastMicros_ = 0;
  int32_t remainder_ = 0;
};

bool CaptureRun::Take(const recording::CapturedReport& report, long line, std::string& why) {
  const std::vector<uint8_t>& b = report.bytes;
  if (ended_) return true;
  if (report.sent) {
    bool continuous = b.size() > 2 && b[0] == kReportMode && (b[1] & kContinuousReporting) && b[2] == kReportButtonsExtension;
    bool answersStatus = statusSince_;
    statusSince_ = false;
    if (!continuous) return true;
    if (!openAsked_) {
      openAsked_ = true;
    } else if (answersStatus) {
      // the stream picked up again, not a run
    } else if (started_) {
      ended_ = true;  // the next run
    } else {
      started_ = true;
      startMicros_ = lastMicros_ = report.micros;
    }
    return true;
  }
  if (b[0] == kReportStatus) statusSince_ = true;
  if (b[0] == kReportMemoryData) Calibration(b);
  if (b[0] != kReportButtonsExtension || !started_ || b.size() < kSensorReportLength) return true;
  if (!Calibrated()) {
    why = "a sensor report before the board's calibration";
    return false;
  }
  Sample(report, line);
  return true;
}

// The two memory replies of the calibration: 16 bytes at 0x24 and 8 at 0x34.
void CaptureRun::Calibration(const std::vector<uint8_t>& b) {
  if (b.size() <= kMemoryDataOffset || (b[kMemorySizeErrorByte] & kMemoryErrorMask) != 0) return;
  size_t count = static_cast<size_t>(b[kMemorySizeErrorByte] >> 4) + 1;
  uint32_t offset = static_cast<uint32_t>(b[kMemoryOffsetByte]) << 8 | b[kMemoryOffsetByte + 1];
  const uint32_t parts[2] = {kRegisterCalibration & 0xFFFF, kRegisterCalibrationRest & 0xFFFF};
  const size_t at[2] = {0, kCalibrationFirstRead}, length[2] = {kCalibrationFirstRead, kCalibrationBlockSize - kCalibrationFirstRead};
  for (int p = 0; p < 2; ++p) {
    if (offset != parts[p] || count != length[p] || b.size() < kMemoryDataOffset + count) continue;
    std::copy(b.begin() + kMemoryDataOffset, b.begin() + kMemoryDataOffset + static_cast<std::ptrdiff_t>(count), block_ + at[p]);
    calibrated_[p] = true;
  }
}

void CaptureRun::Sample(const recording::CapturedReport& report, long line) {
  const std::vector<uint8_t>& b = report.bytes;
  if (b[kButtonByte] & kButtonBit) {  // the button ends the run; its report is no frame
    ended_ = true;
    return;
  }
  FrameKg frame{};
  bool allZero = true;
  for (int c = 0; c < kBoardChannelCount; ++c) {
    int sensor = kChannelSensor[c];
    int32_t raw = b[kSensorDataOffset + 2 * sensor] << 8 | b[kSensorDataOffset + 2 * sensor + 1];
    allZero = allZero && raw == 0;
    auto point = [&](int p) { return block_[2 * kSensorCount * p + 2 * sensor] << 8 | block_[2 * kSensorCount * p + 2 * sensor + 1]; };
    frame.channel[c] = ClampSample(ConvertReading(raw, point(kCalibrationZeroPoint), point(kCalibrationTopPoint))) * kKgPerUnit;
  }
  trial_.Add(static_cast<double>(report.micros - startMicros_) / kMicrosPerSecondCounter, frame, line, 0);
  int32_t frames = FramesFor(ElapsedMicros(static_cast<int64_t>(report.micros - lastMicros_), kMicrosPerSecondCounter), remainder_);
  lastMicros_ = report.micros;
  trial_.paced.insert(trial_.paced.end(), static_cast<size_t>(std::max(frames, 0)), frame);
  if (allZero) ended_ = true;  // flat batteries: the report still counts
}

}  // namespace

bool IsCapture(std::string_view firstLine) { return firstLine.substr(0, std::strlen(recording::kCaptureTitle)) == recording::kCaptureTitle; }

bool ReadCaptureFile(const std::string& path, TimedTrial& trial, std::string& error) {
  recording::File file = recording::OpenForReading(path, error);
  if (!file) return false;
  recording::TextLines lines(file.get());
  CaptureRun run(trial);
  recording::CapturedReport report;
  std::string_view line;
  while (lines.Next(line)) {
    std::string why;
    recording::CaptureLine kind = recording::ReadCaptureLine(line, report, why);
    if (kind == recording::CaptureLine::kBad || (kind == recording::CaptureLine::kReport && !run.Take(report, lines.Number(), why))) {
      error = path + ":" + std::to_string(lines.Number()) + ": " + why;
      return false;
    }
  }
  if (lines.Failed()) error = path + ": " + lines.Failed();
  else if (!run.Calibrated()) error = path + ": holds no calibration (the board's memory replies at 0x24 and 0x34)";
  else if (!run.Started()) error = path + ": holds no run (no request for continuous reports after the open's)";
  else if (trial.seconds.empty()) error = path + ": its run has no sensor reports";
  return error.empty();
}

}  // namespace kymhost
