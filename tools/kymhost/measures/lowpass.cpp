#include "measures/lowpass.h"

#include "measures/math_constants.h"

#include <algorithm>
#include <cmath>

namespace kymhost {

namespace {

// One pass of the filter, transposed direct form II, starting settled at the first value so
// that a trace that starts far from zero does not ring at its start.
struct Biquad {
  double b0, b1, b2, a1, a2;

  void Run(std::vector<double>& x) const {
    if (x.empty()) return;
    double z2 = (b2 - a2) * x.front();
    double z1 = (1 - b0) * x.front();
    for (double& v : x) {
      double in = v;
      double out = b0 * in + z1;
      z1 = b1 * in - a1 * out + z2;
      z2 = b2 * in - a2 * out;
      v = out;
    }
  }
};

// The bilinear transform of the analogue Butterworth filter, with the cut-off prewarped so that
// it lands where asked.
Biquad Butterworth(double cutoffHz, double sampleRateHz) {
  double k = std::tan(kPi * cutoffHz / sampleRateHz);
  double norm = 1 / (1 + std::sqrt(2.0) * k + k * k);
  double b0 = k * k * norm;
  return {b0, 2 * b0, b0, 2 * (k * k - 1) * norm, (1 - std::sqrt(2.0) * k + k * k) * norm};
}

}  // namespace

void LowpassZeroLag(std::vector<double>& signal, double cutoffHz, double sampleRateHz) {
  if (signal.size() < 2 || !(cutoffHz > 0 && cutoffHz < sampleRateHz / 2)) return;  // nothing a filter can do
  // Mirror a cut-off period of the trace at each end (odd reflection, which keeps its slope), so
  // that the ends settle on the trace itself rather than on a step.
  size_t pad = std::min(signal.size() - 1, static_cast<size_t>(std::ceil(sampleRateHz / cutoffHz)));
  size_t n = signal.size();
  std::vector<double> padded;
  padded.reserve(n + 2 * pad);
  for (size_t i = pad; i > 0; --i) padded.push_back(2 * signal.front() - signal[i]);
  padded.insert(padded.end(), signal.begin(), signal.end());
  for (size_t i = 1; i <= pad; ++i) padded.push_back(2 * signal.back() - signal[n - 1 - i]);

  Biquad filter = Butterworth(cutoffHz, sampleRateHz);
  filter.Run(padded);
  std::reverse(padded.begin(), padded.end());
  filter.Run(padded);
  std::reverse(padded.begin(), padded.end());
  std::copy(padded.begin() + static_cast<std::ptrdiff_t>(pad), padded.begin() + static_cast<std::ptrdiff_t>(pad + n),
            signal.begin());
}

}  // namespace kymhost
