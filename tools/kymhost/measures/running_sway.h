// Where the centre of pressure has been so far, kept as it is recorded: the mean and covariance of
// the frames with someone on the board, and their 95 % prediction ellipse. An hour's run costs
// the same few numbers as a second's.
#pragma once

#include "measures/prediction_ellipse.h"

namespace kymhost {

class RunningSway {
 public:
  // Frames under this total are someone stepping on or off, or nobody: the live view cannot know
  // the run's median total yet, so it takes the measures' least standing weight alone.
  static constexpr double kLeastKg = kStandingLeastKg;

  void Add(double totalKg, double copXmm, double copYmm);

  long Frames() const { return frames_; }
  double MeanXmm() const { return meanX_; }
  double MeanYmm() const { return meanY_; }
  // Meaningful once Frames() > 1.
  PredictionEllipse Ellipse() const;
  double AreaMm2() const;

 private:
  // Welford's updates: sums of squares about a running mean keep the small spread of a trace far
  // from the board's centre.
  long frames_ = 0;
  double meanX_ = 0, meanY_ = 0;
  double squaresX_ = 0, squaresY_ = 0, productsXY_ = 0;
};

}  // namespace kymhost
