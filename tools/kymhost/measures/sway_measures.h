// The postural-sway measures of a recording, taken over the frames in which someone stands on the
// board: where the centre of pressure sits, how far it spreads and how far it travels.
#pragma once

#include "measures/spectrum.h"
#include "measures/sway_frame.h"
#include "measures/weight_bearing.h"

#include <cstddef>
#include <vector>

namespace kymhost {

// A frame stands when its total is at least this share of the recording's median total ...
constexpr double kStandingShareOfMedian = 0.8;
// ... and at least this much: an empty board has no standing frames.
constexpr double kStandingLeastKg = 10.0;
// The 95 % point of the chi-squared distribution with two degrees of freedom: the scale of the
// 95 % prediction ellipse.
constexpr double kEllipse95ChiSquared = 5.991;
// The frequency measures need an unbroken stretch of standing frames at least this long.
constexpr double kLeastSpectrumSeconds = 2.0;

struct SwayMeasures {
  long frames = 0;
  long standingFrames = 0;
  double standingSeconds = 0;
  double lowpassHz = 0;  // 0: not filtered
  double standingLeastKg = kStandingLeastKg;  // the total at which this recording's frames stand
  // The rest mean something only when standingFrames > 0.
  double meanTotalKg = 0;
  double meanXmm = 0, meanYmm = 0;
  double rmsXmm = 0, rmsYmm = 0;  // about the mean: the population standard deviation
  double rangeXmm = 0, rangeYmm = 0;
  double covarianceXY = 0;        // with rmsX² and rmsY², the population covariance matrix
  long steps = 0;                 // consecutive pairs of standing frames
  double pathMm = 0;
  double velocityMmPerS = 0;      // meaningful only when steps > 0
  double ellipse95AreaMm2 = 0;
  // The frequency measures: over the standing frames when they are one unbroken stretch, else
  // over the longest such stretch. Meaningful only when HasSpectrum().
  long spectrumFrames = 0;
  double spectrumSeconds = 0;
  bool spectrumOfAllStanding = false;
  Spectrum spectrumX, spectrumY;
  FrequencyMeasures frequencyX{}, frequencyY{};
  double meanFrequencyHz = 0;  // both axes' mean frequencies, weighted by their total power
  // Taken beside the sway, over the same standing frames, where the recording tells the sides apart.
  WeightBearing weightBearing;

  bool HasStanding() const { return standingFrames > 0; }
  bool HasSpectrum() const { return spectrumFrames > 0; }
};

// Measures the recording, frames periodSeconds apart. With lowpassHz > 0 each stretch of
// consecutive standing frames has its centre-of-pressure traces filtered first; the frequency
// measures are taken from the filtered traces too. standing, when given, says which frames stand
// (one a frame) instead of their totals: a foot on one of two boards stands while the person does.
// The frames given by pointer are filtered in place.
// The total at which a recording's frames stand: the share of their median, and at least the least.
double StandingLeastKg(const SwayFrame* frames, size_t count);

SwayMeasures MeasureSway(SwayFrame* frames, size_t count, double periodSeconds, double lowpassHz,
                         const std::vector<bool>* standing = nullptr);
SwayMeasures MeasureSway(std::vector<SwayFrame> frames, double periodSeconds, double lowpassHz,
                         const std::vector<bool>* standing = nullptr);

}  // namespace kymhost
