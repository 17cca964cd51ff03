// kymhost's XDF files read back, and any XDF stream whose channels carry a board's corners, or a
// total and a centre of pressure, under names the CSV reader knows (a board recorded through the
// lab streaming layer, with its uneven time stamps).
#pragma once

#include "files/recorded_trial.h"

#include <string>

namespace kymhost {

// Reads the board-th such stream (from 1) with its time stamps as recorded, markers from the
// "Marker N" samples of its text streams, and the label of its description.
bool ReadXdfFile(const std::string& path, int board, TimedTrial& trial, std::string& error);

}  // namespace kymhost
