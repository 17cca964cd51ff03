// A capture of a board's reports (--capture's file) as a recording: the run's sensor reports at
// the times they arrived, through the calibration the capture holds, and beside them the frames
// the plug-in made of the same reports, each repeated for the 10 ms frames it stood for.
#pragma once

#include "files/recorded_trial.h"

#include <string>

namespace kymhost {

// The first run in the capture: from the first request for continuous reports after the open's
// (one that answers a status report only picks the stream up again) to the next run, the
// board's button, flat batteries or the capture's end. trial.paced gets the plug-in's frames.
bool ReadCaptureFile(const std::string& path, TimedTrial& trial, std::string& error);

// Whether the line starts a capture.
bool IsCapture(std::string_view firstLine);

}  // namespace kymhost
