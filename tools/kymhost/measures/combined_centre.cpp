#include "measures/combined_centre.h"

#include "measures/board_geometry.h"

namespace kymhost {

SwayFrame CombinedCentre(const std::vector<PlacedLoad>& boards, const std::vector<double>& centreXmm) {
  SwayFrame combined{0, 0, 0};
  double momentX = 0, momentY = 0;
  for (size_t k = 0; k < boards.size() && k < centreXmm.size(); ++k) {
    combined.totalKg += boards[k].totalKg;
    momentX += boards[k].totalKg * (centreXmm[k] + boards[k].copXmm);
    momentY += boards[k].totalKg * boards[k].copYmm;
  }
  // As on one board: below a kilogram the centre of pressure means nothing.
  if (combined.totalKg >= kMinimumLoadKg) {
    combined.copXmm = momentX / combined.totalKg;
    combined.copYmm = momentY / combined.totalKg;
  }
  return combined;
}

}  // namespace kymhost
