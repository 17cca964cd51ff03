#include "measures/running_sway.h"

#include "measures/math_constants.h"

#include <algorithm>
#include <cmath>

namespace kymhost {

void RunningSway::Add(double totalKg, double copXmm, double copYmm) {
  if (!(totalKg >= kLeastKg) || !std::isfinite(copXmm) || !std::isfinite(copYmm)) return;
  ++frames_;
  double n = static_cast<double>(frames_);
  double dx = copXmm - meanX_, dy = copYmm - meanY_;
  meanX_ += dx / n;
  meanY_ += dy / n;
  squaresX_ += dx * (copXmm - meanX_);
  squaresY_ += dy * (copYmm - meanY_);
  productsXY_ += dx * (copYmm - meanY_);
}

PredictionEllipse RunningSway::Ellipse() const {
  if (frames_ < 2) return {0, 0, 0};
  double n = static_cast<double>(frames_);
  return PredictionEllipse::Of(squaresX_ / n, squaresY_ / n, productsXY_ / n);
}

double RunningSway::AreaMm2() const {
  if (frames_ < 2) return 0;
  double n = static_cast<double>(frames_);
  double varX = squaresX_ / n, varY = squaresY_ / n, cov = productsXY_ / n;
  return kPi * kEllipse95ChiSquared * std::sqrt(std::max(0.0, varX * varY - cov * cov));
}

}  // namespace kymhost
