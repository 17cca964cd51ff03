// The balance board's numbers: sensors, channels, scale, timing and its replies' fixed texts.
#pragma once

#include <cstdint>

namespace Kestrel {

constexpr int kSensorCount = 4;
constexpr int kCalibrationPoints = 3;  // 0 kg, 17 kg, 34 kg
constexpr int kCalibrationZeroPoint = 0;
constexpr int kCalibrationTopPoint = 2;
constexpr double kCalibrationTopKilograms = 34.0;
constexpr int kCalibrationBlockSize = 24;
constexpr int kCalibrationFirstRead = 16;  // one memory-data reply carries at most 16 bytes
constexpr uint8_t kExtensionTypeBoard[2] = {0x04, 0x02};

// Channel k of a frame carries this sensor: top left, bottom left, top right, bottom right.
constexpr int kBoardChannelCount = 4;
constexpr int kChannelSensor[kBoardChannelCount] = {2, 3, 0, 1};
constexpr int kSensorDataOffset = 3;  // first sensor byte of report 0x32

// One sample unit is 75/32000 kg; values stay within -32000..32000.
constexpr int32_t kSampleFullScale = 32000;
constexpr int32_t kKilogramsFullScale = 75;

// Output pacing: one frame per 10 ms of performance-counter time.
constexpr int32_t kFramePeriodMicros = 10000;
constexpr int64_t kMicrosPerSecond = 1000000;

constexpr int32_t kZeroReports = 100;  // reports averaged into the zero offsets

constexpr uint32_t kButtonToggleMs = 500;  // LED 1 changes at most this often while idle
constexpr uint32_t kButtonStopSleepMs = 500;

constexpr int kSerialReplyLimit = 24;  // bytes of the serial number a reply carries

}  // namespace Kestrel
