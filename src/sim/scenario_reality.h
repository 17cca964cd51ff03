// The scenario words for what real boards and Bluetooth stacks do that the default world spares
// a host: the HID device's late arrival, stale pairings, a silent link's supervision time-out,
// noisy sensors and a board that does not read zero empty.
#pragma once

#include "sim/scenario_words.h"
#include "sim/world.h"

namespace sim {

// The settings ReadRealBoardSetting knows, in the form WordCursor::NextIs takes.
extern const char kRealBoardSettings[];

// Reads one of those settings into the board; false, taking nothing, when the next word is none.
bool ReadRealBoardSetting(WordCursor& c, SimulatedBoard& board);

// Adds, for every board gone silent, the moment its link is given up: its supervision time-out
// after the silence began. Runs once the whole file is read, as settings may follow events.
void AddLinkLosses(Scenario& scenario);

}  // namespace sim
