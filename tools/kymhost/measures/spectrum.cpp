#include "measures/spectrum.h"

#include "measures/fourier.h"
#include "measures/math_constants.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numeric>

namespace kymhost {

namespace {

constexpr int kWindows = 3;
constexpr size_t kLeastWindow = 4;  // samples: fewer make no spectrum
constexpr double kMedianShare = 0.5, kShare95 = 0.95;

// The periodic Hann window (its length is a full period), as spectral analysis uses it.
std::vector<double> Hann(size_t length) {
  std::vector<double> window(length);
  for (size_t n = 0; n < length; ++n)
    window[n] = 0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(n) / static_cast<double>(length));
  return window;
}

// The frequency below which share of the power lies, between bins by linear interpolation of
// the cumulative (trapezoidal) integral.
double PowerShareFrequency(const Spectrum& spectrum, double total, double share) {
  const std::vector<double>& p = spectrum.density;
  double wanted = share * total, below = 0;
  for (size_t k = 1; k < p.size(); ++k) {
    double slice = (p[k - 1] + p[k]) / 2 * spectrum.stepHz;
    if (below + slice >= wanted && slice > 0)
      return (static_cast<double>(k - 1) + (wanted - below) / slice) * spectrum.stepHz;
    below += slice;
  }
  return static_cast<double>(p.size() - 1) * spectrum.stepHz;
}

}  // namespace

Spectrum WelchSpectrum(const std::vector<double>& trace, double sampleRateHz) {
  Spectrum spectrum;
  size_t length = trace.size() / 2, hop = length / 2;
  if (length < kLeastWindow || !(sampleRateHz > 0)) return spectrum;
  std::vector<double> window = Hann(length);
  double windowPower = 0;
  for (double w : window) windowPower += w * w;
  size_t bins = length / 2 + 1;
  spectrum.stepHz = sampleRateHz / static_cast<double>(length);
  spectrum.windowSeconds = static_cast<double>(length) / sampleRateHz;
  spectrum.density.assign(bins, 0.0);
  std::vector<std::complex<double>> values(length);
  for (int w = 0; w < kWindows; ++w) {
    auto start = trace.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(w) * hop);
    double mean = std::accumulate(start, start + static_cast<std::ptrdiff_t>(length), 0.0) / static_cast<double>(length);
    for (size_t n = 0; n < length; ++n) values[n] = (start[static_cast<std::ptrdiff_t>(n)] - mean) * window[n];
    Fourier(values);
    for (size_t k = 0; k < bins; ++k) {
      // One-sided: every bin but 0 Hz and, for an even length, half the sample rate has its
      // mirror image's power added.
      bool mirrored = k > 0 && 2 * k != length;
      spectrum.density[k] += (mirrored ? 2 : 1) * std::norm(values[k]) / (sampleRateHz * windowPower) / kWindows;
    }
  }
  return spectrum;
}

FrequencyMeasures MeasureFrequencies(const Spectrum& spectrum) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  FrequencyMeasures m{kNone, kNone, kNone, kNone, 0};
  const std::vector<double>& p = spectrum.density;
  double moment = 0;
  for (size_t k = 1; k < p.size(); ++k) {
    double f0 = static_cast<double>(k - 1) * spectrum.stepHz, f1 = static_cast<double>(k) * spectrum.stepHz;
    m.totalPower += (p[k - 1] + p[k]) / 2 * spectrum.stepHz;
    moment += (f0 * p[k - 1] + f1 * p[k]) / 2 * spectrum.stepHz;
  }
  if (!(m.totalPower > 0)) return m;
  m.meanHz = moment / m.totalPower;
  m.f50Hz = PowerShareFrequency(spectrum, m.totalPower, kMedianShare);
  m.f95Hz = PowerShareFrequency(spectrum, m.totalPower, kShare95);
  m.peakHz = static_cast<double>(std::max_element(p.begin(), p.end()) - p.begin()) * spectrum.stepHz;
  return m;
}

}  // namespace kymhost
