// kymhost's BDF+ and EDF+ files read back, and any EDF+ or BDF+ file whose signals carry a board's
// corners, or a total and a centre of pressure, under names the CSV reader knows.
#pragma once

#include "files/recorded_trial.h"

#include <string>

namespace kymhost {

// Reads board (from 1) of the file: its samples at their record's times, markers from "Marker N"
// annotations, and the label from the recording field. Padding after "Recording ends" is left out.
bool ReadEdfFile(const std::string& path, int board, TimedTrial& trial, std::string& error);

}  // namespace kymhost
