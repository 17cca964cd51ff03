#include "measures/board_layout.h"

#include <algorithm>
#include <cctype>

namespace kymhost {

namespace {

bool Names(const std::string& label, const char* side) {
  std::string lower;
  for (char c : label) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == side;
}

int Labelled(const std::vector<std::string>& labels, const char* side) {
  for (size_t k = 0; k < labels.size(); ++k)
    if (Names(labels[k], side)) return static_cast<int>(k);
  return -1;
}

}  // namespace

BoardLayout LayOut(const std::vector<std::string>& labels, double gapMm) {
  BoardLayout layout;
  layout.gapMm = gapMm;
  int boards = static_cast<int>(labels.size());
  std::vector<int> order(static_cast<size_t>(boards));  // board numbers, left to right
  for (int k = 0; k < boards; ++k) order[static_cast<size_t>(k)] = k;
  int left = Labelled(labels, kLeftLabel), right = Labelled(labels, kRightLabel);
  if (left >= 0 && right >= 0 && left != right) {
    layout.left = left;
    layout.right = right;
    auto at = [&](int board) { return std::find(order.begin(), order.end(), board) - order.begin(); };
    if (at(left) > at(right)) std::swap(order[static_cast<size_t>(at(left))], order[static_cast<size_t>(at(right))]);
  }
  double pitch = kBoardWidthMm + gapMm;
  layout.centreXmm.assign(static_cast<size_t>(boards), 0.0);
  for (int position = 0; position < boards; ++position)
    layout.centreXmm[static_cast<size_t>(order[static_cast<size_t>(position)])] =
        (position - (boards - 1) / 2.0) * pitch;
  return layout;
}

}  // namespace kymhost
