// The end of a recording, live or read from a file: the part of it to measure, its measures, the
// summary printed and the files written.
#pragma once

#include "command_line.h"
#include "analysis/recording.h"
#include "measures/sway_measures.h"
#include "files/sway_summary.h"

#include <string>
#include <vector>

namespace kymhost {

struct Analysis {
  SwayMeasures measures;
  TrialNotes notes;
  std::vector<TracePoint> trace;  // of the measured part
};

// Measures the part of the recording that the options choose; a low-pass filter works on the
// recording's own frames. False, saying why, when they name a marker it does not have. standing,
// when given, says which of the recording's frames stand.
bool AnalyseRecording(Recording& recording, const Options& options, const std::string& label, Analysis& analysis,
                      std::string& error, const std::vector<bool>* standing = nullptr);

void PrintAnalysis(const Analysis& analysis);

// Writes the plot and the summary file, each when its path is not empty. False when a file could
// not be written.
bool WriteAnalysis(const Analysis& analysis, const std::string& plotPath, const std::string& summaryPath);

}  // namespace kymhost
