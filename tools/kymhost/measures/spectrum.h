// Welch's estimate of a trace's power spectral density, and the frequency measures of sway
// taken from it.
#pragma once

#include "measures/sway_frame.h"

#include <cstddef>
#include <vector>

namespace kymhost {

struct Spectrum {
  double stepHz = 0;            // bin k lies at k x stepHz, from 0 Hz to half the sample rate
  double windowSeconds = 0;
  std::vector<double> density;  // one-sided, in the trace's unit squared per hertz
};

// Welch's method as kymhost applies it: three Hann windows, each half the trace long and
// overlapping the next by half its length, the mean of each removed. The traces are the centre of
// pressure's x and y over count frames; both are empty when they are too short for any window.
void WelchSpectra(const SwayFrame* frames, size_t count, double sampleRateHz, Spectrum& x, Spectrum& y);

struct FrequencyMeasures {
  // Integrals by the trapezoidal rule over the whole spectrum. The frequencies are NaN for a
  // spectrum without power.
  double meanHz;      // the centroid: integral of f P(f) over integral of P(f)
  double f50Hz;       // below it lies half the power
  double f95Hz;       // below it lies 95 % of the power
  double peakHz;      // where the density is highest
  double totalPower;  // the integral of P(f): the trace's unit squared
};

FrequencyMeasures MeasureFrequencies(const Spectrum& spectrum);

}  // namespace kymhost
