#include "sim/board_registers.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr uint8_t kRegisterSpace = 0x04;
constexpr uint32_t kCalibrationOffset = 0x24;
constexpr uint32_t kIdentifierOffset = 0xFA;
// The six identifier bytes of a balance board extension; it ends in 04 02.
constexpr std::array<uint8_t, 6> kBoardIdentifier = {0x00, 0x00, 0xA4, 0x20, 0x04, 0x02};
// The unencrypted initialisation: 0x55 to 0xF0, then 0x00 to 0xFB.
constexpr uint32_t kInitialiseFirst = 0xF0;
constexpr uint8_t kInitialiseFirstValue = 0x55;
constexpr uint32_t kInitialiseSecond = 0xFB;
constexpr uint8_t kInitialiseSecondValue = 0x00;

uint64_t Key(uint8_t space, uint32_t offset) { return static_cast<uint64_t>(space) << 32 | offset; }

}  // namespace

uint16_t Calibration::RawReading(int sensor, double kilograms) const {
  const size_t s = static_cast<size_t>(sensor);
  double low = readings[0][s], middle = readings[1][s], high = readings[2][s];
  double raw;
  if (2 * middle == low + high) {
    raw = low + kilograms * (high - low) / kCalibrationTopKilograms;
  } else {
    // A real sensor is not quite linear: it passes through its middle point, which the factory
    // measured, rather than the line between the outer two.
    constexpr double kHalf = kCalibrationTopKilograms / 2;
    raw = kilograms <= kHalf ? low + kilograms * (middle - low) / kHalf
                             : middle + (kilograms - kHalf) * (high - middle) / kHalf;
  }
  return static_cast<uint16_t>(std::clamp(std::lround(raw), 0L, static_cast<long>(kLargestRawReading)));
}

Calibration DefaultCalibration() {
  const std::array<uint16_t, kSensorCount> empty = {1906, 2069, 1776, 2226};
  const std::array<uint16_t, kSensorCount> span = {3458, 3512, 3390, 3470};  // raw units per 34 kg
  Calibration c{};
  for (size_t s = 0; s < kSensorCount; ++s) {
    c.readings[0][s] = empty[s];
    c.readings[1][s] = static_cast<uint16_t>(empty[s] + span[s] / 2);
    c.readings[2][s] = static_cast<uint16_t>(empty[s] + span[s]);
  }
  return c;
}

BoardRegisters::BoardRegisters(const Calibration& calibration) {
  // Calibration block: for each reference point the four sensors, high byte first.
  for (size_t p = 0; p < kCalibrationPoints; ++p) {
    for (size_t s = 0; s < kSensorCount; ++s) {
      size_t at = kCalibrationOffset + 8 * p + 2 * s;
      extension_[at] = static_cast<uint8_t>(calibration.readings[p][s] >> 8);
      extension_[at + 1] = static_cast<uint8_t>(calibration.readings[p][s] & 0xFF);
    }
  }
  std::copy(kBoardIdentifier.begin(), kBoardIdentifier.end(), extension_.begin() + kIdentifierOffset);
}

void BoardRegisters::Reset() {
  initialisationStarted_ = false;
  extensionReady_ = false;
}

bool BoardRegisters::InExtensionBlock(uint8_t space, uint32_t offset) const {
  return (space & kRegisterSpace) && offset >= kExtensionBlock && offset < kExtensionBlock + kExtensionBlockSize;
}

uint8_t BoardRegisters::Read(uint8_t space, uint32_t offset, size_t length, uint8_t* out) const {
  for (size_t i = 0; i < length; ++i) {
    uint32_t at = offset + static_cast<uint32_t>(i);
    if (InExtensionBlock(space, at)) {
      if (!extensionReady_) return kMemoryNotReady;
      out[i] = extension_[at - kExtensionBlock];
    } else {
      auto it = elsewhere_.find(Key(space & kRegisterSpace, at));
      out[i] = it == elsewhere_.end() ? 0 : it->second;
    }
  }
  return kMemoryOk;
}

uint8_t BoardRegisters::Write(uint8_t space, uint32_t offset, const uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    uint32_t at = offset + static_cast<uint32_t>(i);
    if (!InExtensionBlock(space, at)) {
      elsewhere_[Key(space & kRegisterSpace, at)] = data[i];
      continue;
    }
    uint32_t local = at - kExtensionBlock;
    if (local == kInitialiseFirst) {
      initialisationStarted_ = data[i] == kInitialiseFirstValue;
    } else if (local == kInitialiseSecond && data[i] == kInitialiseSecondValue && initialisationStarted_) {
      extensionReady_ = true;
    }
  }
  return kMemoryOk;
}

}  // namespace sim
