// The 95 % prediction ellipse of a centre-of-pressure trace, from its covariance matrix: drawn by
// the plot at the end and by the live view while recording.
#pragma once

#include "measures/sway_measures.h"

#include <algorithm>
#include <cmath>

namespace kymhost {

// Its axes lie along the eigenvectors of the covariance matrix, each sqrt(chi-squared x
// eigenvalue) long.
struct PredictionEllipse {
  double semiMajor, semiMinor, angle;  // angle of the major axis from x, counter-clockwise, radians

  static PredictionEllipse Of(double varX, double varY, double cov) {
    double middle = (varX + varY) / 2, spread = std::hypot((varX - varY) / 2, cov);
    return {std::sqrt(kEllipse95ChiSquared * (middle + spread)),
            std::sqrt(kEllipse95ChiSquared * std::max(0.0, middle - spread)), std::atan2(2 * cov, varX - varY) / 2};
  }
};

}  // namespace kymhost
