// The simulated world the fuzz targets run in: the plug-in attached as the loader would, time on
// the virtual clock, and boards that answer at once and report on an exact 10 ms beat.
#pragma once

#include "sim/world.h"

#include <cstdint>

namespace fuzzing {

constexpr uint64_t kRadioAddress = sim::kDefaultRadioAddress;
constexpr uint64_t kBoardAddress = sim::kDefaultBoardAddress;
constexpr uint64_t kSecondBoardAddress = 0x0019fd001122;

// Once per process: attach the plug-in and switch to the virtual clock.
void AttachPlugin();

sim::BoardSettings FastBoardSettings();
// A radio (or none) and count boards, already paired or not.
sim::Scenario BoardScenario(bool radio, int count, bool paired);

}  // namespace fuzzing
