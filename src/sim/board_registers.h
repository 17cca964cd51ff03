// The memory a simulated balance board answers reads and writes from: its EEPROM and its
// control registers, among them the extension block with the identifier and the calibration.
#pragma once

#include "sim/load_model.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>

namespace sim {

// Reference points of the factory calibration.
constexpr int kCalibrationPoints = 3;  // 0 kg, 17 kg, 34 kg
constexpr double kCalibrationTopKilograms = 34.0;
constexpr uint16_t kLargestRawReading = 0xFFFF;  // a sensor reads 16 bits

// The raw reading of each sensor at each reference point: readings[point][sensor].
struct Calibration {
  std::array<std::array<uint16_t, kSensorCount>, kCalibrationPoints> readings;

  // The raw reading for a load: along the line from the 0 kg to the 34 kg point when the 17 kg
  // point lies on it, otherwise through all three points, a straight piece on each side of 17 kg.
  uint16_t RawReading(int sensor, double kilograms) const;
};

// A plausible calibration: about 100 raw units per kilogram, every sensor a little different.
Calibration DefaultCalibration();

// Error codes a memory-data reply or an acknowledgement carries.
constexpr uint8_t kMemoryOk = 0;
constexpr uint8_t kMemoryBadLength = 3;
constexpr uint8_t kMemoryBusy = 4;      // the remote is still busy with an earlier request
constexpr uint8_t kMemoryNotReady = 7;  // the extension did not answer: not initialised, or absent
constexpr uint8_t kMemoryBadAddress = 8;

class BoardRegisters {
 public:
  explicit BoardRegisters(const Calibration& calibration);

  // Power-on state: the extension waits for its initialisation again.
  void Reset();
  // space is the address byte that selects EEPROM (0x00) or registers (0x04).
  uint8_t Read(uint8_t space, uint32_t offset, size_t length, uint8_t* out) const;
  uint8_t Write(uint8_t space, uint32_t offset, const uint8_t* data, size_t length);
  bool ExtensionReady() const { return extensionReady_; }

 private:
  static constexpr uint32_t kExtensionBlock = 0xA40000;
  static constexpr size_t kExtensionBlockSize = 0x100;

  bool InExtensionBlock(uint8_t space, uint32_t offset) const;

  std::array<uint8_t, kExtensionBlockSize> extension_{};
  std::map<uint64_t, uint8_t> elsewhere_;  // every other byte ever written, by space and offset
  bool initialisationStarted_ = false;
  bool extensionReady_ = false;
};

}  // namespace sim
