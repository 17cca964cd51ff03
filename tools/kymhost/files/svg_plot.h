// The recording as a picture: one self-contained SVG file.
#pragma once

#include "analysis/recording.h"
#include "measures/sway_measures.h"
#include "files/sway_summary.h"

#include <string>
#include <vector>

namespace kymhost {

// One board of several: its own trace, drawn where the board stands.
struct PlotBoard {
  std::string name;
  std::vector<TracePoint> trace;
  double centreXmm;  // from the middle of the row of boards
};

// Total weight over time beside the centre-of-pressure trace with the 95 % ellipse of the
// standing frames, the spectra of the trace under them, and the summary at the foot. With
// boards, the trace is theirs together, and each board's weight and trace are drawn too, the
// trace on the board's outline. False when the file cannot be written.
bool WritePlot(const std::string& path, const std::vector<TracePoint>& trace, const SwayMeasures& measures,
               const TrialNotes& notes, const std::vector<PlotBoard>& boards = {});

}  // namespace kymhost
