// The centre of pressure of several boards together, from each board's total and centre of
// pressure and where the board stands.
#pragma once

#include "measures/sway_measures.h"

#include <vector>

namespace kymhost {

// One board's part: its total and its centre of pressure from its own centre.
struct PlacedLoad {
  double totalKg;
  double copXmm;
  double copYmm;
};

// The frame of all the boards, with its centre of pressure from the middle of the row (x to the
// right, y to the front): each board's centre weighted by its load. centreXmm says where each
// board's centre lies; the boards stand level front to back.
SwayFrame CombinedCentre(const std::vector<PlacedLoad>& boards, const std::vector<double>& centreXmm);

}  // namespace kymhost
