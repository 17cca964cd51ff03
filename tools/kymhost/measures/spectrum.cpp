#include "measures/spectrum.h"

#include "measures/fourier.h"
#include "measures/math_constants.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace kymhost {

namespace {

constexpr int kWindows = 3;
constexpr size_t kLeastWindow = 4;  // samples: fewer make no spectrum
constexpr double kMedianShare = 0.5, kShare95 = 0.95;

// The periodic Hann window (its length is a full period), as spectral analysis uses it.
double Hann(size_t n, size_t length) {
  return 0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(n) / static_cast<double>(length));
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

void WelchSpectra(const SwayFrame* frames, size_t count, double sampleRateHz, Spectrum& x, Spectrum& y) {
  x = y = Spectrum();
  size_t length = count / 2, hop = length / 2;
  if (length < kLeastWindow || !(sampleRateHz > 0)) return;
  double windowPower = 0;
  for (size_t n = 0; n < length; ++n) windowPower += Hann(n, length) * Hann(n, length);
  size_t bins = length / 2 + 1;
  for (Spectrum* s : {&x, &y}) {
    s->stepHz = sampleRateHz / static_cast<double>(length);
    s->windowSeconds = static_cast<double>(length) / sampleRateHz;
    s->density.assign(bins, 0.0);
  }
  // Both traces are real, so one transform of x + iy carries both: X[k] = (Z[k] + conj Z[N-k]) / 2
  // and Y[k] = (Z[k] - conj Z[N-k]) / 2i.
  FourierPlan plan(length);
  std::complex<double>* z = plan.Values();
  double scale = sampleRateHz * windowPower * kWindows;
  for (int w = 0; w < kWindows; ++w) {
    const SwayFrame* start = frames + static_cast<size_t>(w) * hop;
    double meanX = 0, meanY = 0;
    for (size_t n = 0; n < length; ++n) {
      meanX += start[n].copXmm;
      meanY += start[n].copYmm;
    }
    meanX /= static_cast<double>(length);
    meanY /= static_cast<double>(length);
    for (size_t n = 0; n < length; ++n)
      z[n] = std::complex<double>(start[n].copXmm - meanX, start[n].copYmm - meanY) * Hann(n, length);
    plan.Transform();
    for (size_t k = 0; k < bins; ++k) {
      std::complex<double> mirror = std::conj(z[(length - k) % length]);
      double px = std::norm(z[k] + mirror) / 4, py = std::norm(z[k] - mirror) / 4;
      // One-sided: every bin but 0 Hz and, for an even length, half the sample rate has its
      // mirror image's power added.
      double sides = k > 0 && 2 * k != length ? 2 : 1;
      x.density[k] += sides * px / scale;
      y.density[k] += sides * py / scale;
    }
  }
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
