// A load that tells in every frame which board report it came from: each sensor carries a few
// whole kilograms that step with the report's 10 ms slot, offset per sensor. A frame decodes to
// one slot only if its four channels belong together, and consecutive frames to consecutive slots.
#pragma once

#include "board/board_constants.h"
#include "sim/load_model.h"

#include <cmath>
#include <cstdint>

namespace hardening {

constexpr uint64_t kSlotMicros = 10'000;
constexpr int kPatternPeriod = 60;
constexpr int kSensorStride = 7;
constexpr double kBaseKilograms = 2.0;
constexpr double kUnitsPerKilogram =
    static_cast<double>(Kestrel::kSampleFullScale) / static_cast<double>(Kestrel::kKilogramsFullScale);

class CheckPattern : public sim::LoadModel {
 public:
  sim::SensorLoads At(uint64_t micros) const override {
    int slot = static_cast<int>((micros / kSlotMicros) % kPatternPeriod);
    sim::SensorLoads loads{};
    for (int s = 0; s < sim::kSensorCount; ++s) loads[static_cast<size_t>(s)] = kBaseKilograms + (slot + kSensorStride * s) % kPatternPeriod;
    return loads;
  }
};

// The slot a frame of four big-endian values came from, or -1 when its channels disagree.
inline int DecodeSlot(const unsigned char* frame) {
  int slot = -1;
  for (int c = 0; c < Kestrel::kBoardChannelCount; ++c) {
    int16_t value = static_cast<int16_t>(frame[2 * c] << 8 | frame[2 * c + 1]);
    int kilograms = static_cast<int>(std::lround(value / kUnitsPerKilogram - kBaseKilograms));
    int channelSlot = ((kilograms - kSensorStride * Kestrel::kChannelSensor[c]) % kPatternPeriod + kPatternPeriod) % kPatternPeriod;
    if (c > 0 && channelSlot != slot) return -1;
    slot = channelSlot;
  }
  return slot;
}

}  // namespace hardening
