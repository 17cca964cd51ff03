// Where several boards stand: side by side along x, left to right, with a gap between their
// edges; and which two of them carry the left and the right foot.
#pragma once

#include "measures/board_geometry.h"

#include <string>
#include <vector>

namespace kymhost {

constexpr char kLeftLabel[] = "left";
constexpr char kRightLabel[] = "right";

struct BoardLayout {
  double gapMm = 0;
  std::vector<double> centreXmm;  // each board's centre, from the middle of the whole row
  int left = 0, right = 1;        // the boards that bear the left and the right foot
};

// Boards stand left to right in the order of their numbers, except that two boards labelled
// left and right (in any case) stand as labelled and bear those feet; otherwise the first two do.
BoardLayout LayOut(const std::vector<std::string>& labels, double gapMm);

}  // namespace kymhost
