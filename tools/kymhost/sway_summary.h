// The sway measures as people read them (a few lines) and as programs read them (JSON).
#pragma once

#include "sway_measures.h"

#include <string>
#include <vector>

namespace kymhost {

// A heading line and the measures, one group a line; one line when nobody stood on the board.
std::vector<std::string> SummaryLines(const SwayMeasures& measures);

// One JSON object, numbers in plain decimal, null for what the recording cannot give.
std::string SummaryJson(const SwayMeasures& measures);

}  // namespace kymhost
