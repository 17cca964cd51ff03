// The recording as a picture: one self-contained SVG file.
#pragma once

#include "analysis/recording.h"
#include "measures/sway_measures.h"
#include "files/sway_summary.h"

#include <string>
#include <vector>

namespace kymhost {

// Total weight over time beside the centre-of-pressure trace with the 95 % ellipse of the
// standing frames, the spectra of the trace under them, and the summary at the foot. False when
// the file cannot be written.
bool WritePlot(const std::string& path, const std::vector<TracePoint>& trace, const SwayMeasures& measures,
               const TrialNotes& notes);

}  // namespace kymhost
