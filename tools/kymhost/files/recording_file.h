// Any recording kymhost analyse reads, told apart by its first bytes: kymhost's CSV and other
// tables with a header, a Nexus "Devices" export, a headerless six-column force-plate export,
// kymhost's BDF+, EDF+ and XDF files, and a capture of a board's reports.
#pragma once

#include "files/recorded_trial.h"
#include "recording/trial_reader.h"

#include <string>

namespace kymhost {

struct ReadSettings {
  recording::Axes axes;
  int plate = 1;             // the Nth force plate or board a file holds
  double rateHz = 0;         // of a file that does not give its own
  double plateDepthMm = 0;   // of a force plate's origin below its surface
};

// Reads the recording at path into trial. False, with error naming the file and where in it,
// when it cannot.
bool ReadRecordingFile(const std::string& path, const ReadSettings& settings, TimedTrial& trial, std::string& error);

}  // namespace kymhost
