// The scenario words for recorded reality: a recorded trial as what stands on a board (load
// replay FILE ...), and a board that replays a capture of a board's reports (replay-capture FILE).
// File names are relative to the scenario file's folder.
#pragma once

#include "sim/scenario_words.h"
#include "sim/world.h"

#include <memory>
#include <string>

namespace sim {

// The board setting ReadCaptureSetting knows, in the form WordCursor::NextIs takes.
extern const char kCaptureSetting[];

// The folder part of a file's path, with its last separator; empty for a bare file name.
std::string FolderOf(const std::string& path);

// Reads "replay-capture FILE" into the board; false, taking nothing, when the next word is not
// the setting.
bool ReadCaptureSetting(WordCursor& c, SimulatedBoard& board, const std::string& folder);

// Gives a board that replays a capture the captured board's address, when the capture names it.
// An error for line when another board has that address already.
void TakeCapturedAddress(Scenario& scenario, size_t board, int line);

// Reads the rest of "load replay FILE [with sampling] [hold|loop|then empty] [axes swap|flip-x|
// flip-y] [over TIME]" for a load that takes over at beginMicros. With sampling, the board's run
// starts go to starts, made when there is none yet.
std::shared_ptr<const LoadModel> ReadReplayLoad(WordCursor& c, uint64_t beginMicros, const std::string& folder,
                                                std::shared_ptr<SamplingStarts>& starts, uint64_t& rampMicros);

}  // namespace sim
