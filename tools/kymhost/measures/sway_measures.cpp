#include "measures/sway_measures.h"

#include "measures/lowpass.h"
#include "measures/math_constants.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kymhost {

namespace {

double MedianTotal(const SwayFrame* frames, size_t count) {
  std::vector<double> totals(count);
  for (size_t i = 0; i < count; ++i) totals[i] = frames[i].totalKg;
  auto middle = totals.begin() + static_cast<std::ptrdiff_t>(count / 2);
  std::nth_element(totals.begin(), middle, totals.end());
  if (count % 2) return *middle;
  return (*std::max_element(totals.begin(), middle) + *middle) / 2;
}


std::vector<bool> StandingFrames(const SwayFrame* frames, size_t count, double least) {
  std::vector<bool> standing(count, false);
  for (size_t i = 0; i < count; ++i) standing[i] = frames[i].totalKg >= least;
  return standing;
}

// Filters each stretch of consecutive standing frames on its own: stepping off and on would
// otherwise smear the jump of the centre of pressure into the frames beside it.
void FilterStretches(SwayFrame* frames, size_t count, const std::vector<bool>& standing, double cutoffHz,
                     double sampleRateHz) {
  std::vector<double> x, y;
  for (size_t start = 0; start < count;) {
    if (!standing[start]) {
      ++start;
      continue;
    }
    size_t end = start;
    x.clear();
    y.clear();
    for (; end < count && standing[end]; ++end) {
      x.push_back(frames[end].copXmm);
      y.push_back(frames[end].copYmm);
    }
    LowpassZeroLag(x, cutoffHz, sampleRateHz);
    LowpassZeroLag(y, cutoffHz, sampleRateHz);
    for (size_t i = start; i < end; ++i) {
      frames[i].copXmm = x[i - start];
      frames[i].copYmm = y[i - start];
    }
    start = end;
  }
}

// The first and one past the last frame of the longest run of consecutive standing frames.
std::pair<size_t, size_t> LongestStretch(const std::vector<bool>& standing) {
  std::pair<size_t, size_t> longest{0, 0};
  for (size_t start = 0; start < standing.size();) {
    size_t end = start;
    while (end < standing.size() && standing[end]) ++end;
    if (end - start > longest.second - longest.first) longest = {start, end};
    start = end + 1;
  }
  return longest;
}

// Welch's spectra need evenly spaced samples: the frames of one unbroken stretch.
void MeasureSpectrum(const SwayFrame* frames, const std::vector<bool>& standing, double periodSeconds,
                     SwayMeasures& m) {
  auto [start, end] = LongestStretch(standing);
  if (static_cast<double>(end - start) * periodSeconds < kLeastSpectrumSeconds - periodSeconds / 2) return;
  WelchSpectra(frames + start, end - start, 1 / periodSeconds, m.spectrumX, m.spectrumY);
  if (m.spectrumX.density.empty()) return;
  m.spectrumFrames = static_cast<long>(end - start);
  m.spectrumSeconds = static_cast<double>(m.spectrumFrames) * periodSeconds;
  m.spectrumOfAllStanding = m.spectrumFrames == m.standingFrames;
  m.frequencyX = MeasureFrequencies(m.spectrumX);
  m.frequencyY = MeasureFrequencies(m.spectrumY);
  double weighted = 0, power = 0;
  for (const FrequencyMeasures* axis : {&m.frequencyX, &m.frequencyY}) {
    if (!(axis->totalPower > 0)) continue;  // a still axis has no mean frequency to weigh
    weighted += axis->meanHz * axis->totalPower;
    power += axis->totalPower;
  }
  m.meanFrequencyHz = power > 0 ? weighted / power : std::nan("");
}

}  // namespace

double StandingLeastKg(const SwayFrame* frames, size_t count) {
  return count == 0 ? kStandingLeastKg : std::max(kStandingShareOfMedian * MedianTotal(frames, count), kStandingLeastKg);
}

SwayMeasures MeasureSway(std::vector<SwayFrame> frames, double periodSeconds, double lowpassHz,
                         const std::vector<bool>* standing) {
  return MeasureSway(frames.data(), frames.size(), periodSeconds, lowpassHz, standing);
}

SwayMeasures MeasureSway(SwayFrame* frames, size_t count, double periodSeconds, double lowpassHz,
                         const std::vector<bool>* standingGiven) {
  SwayMeasures m;
  m.frames = static_cast<long>(count);
  m.lowpassHz = lowpassHz;
  m.standingLeastKg = StandingLeastKg(frames, count);
  std::vector<bool> standing = standingGiven && standingGiven->size() == count
                                   ? *standingGiven
                                   : StandingFrames(frames, count, m.standingLeastKg);
  if (lowpassHz > 0) FilterStretches(frames, count, standing, lowpassHz, 1 / periodSeconds);

  double sumKg = 0, sumX = 0, sumY = 0;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!standing[i]) continue;
    const SwayFrame& f = frames[i];
    if (m.standingFrames == 0) {
      minX = maxX = f.copXmm;
      minY = maxY = f.copYmm;
    }
    ++m.standingFrames;
    sumKg += f.totalKg;
    sumX += f.copXmm;
    sumY += f.copYmm;
    minX = std::min(minX, f.copXmm);
    maxX = std::max(maxX, f.copXmm);
    minY = std::min(minY, f.copYmm);
    maxY = std::max(maxY, f.copYmm);
    if (i > 0 && standing[i - 1]) {
      ++m.steps;
      m.pathMm += std::hypot(f.copXmm - frames[i - 1].copXmm, f.copYmm - frames[i - 1].copYmm);
    }
  }
  m.standingSeconds = static_cast<double>(m.standingFrames) * periodSeconds;
  if (!m.HasStanding()) return m;

  double n = static_cast<double>(m.standingFrames);
  m.meanTotalKg = sumKg / n;
  m.meanXmm = sumX / n;
  m.meanYmm = sumY / n;
  // About the mean in a second pass: sums of squares far from zero lose the small spread.
  double sxx = 0, syy = 0, sxy = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!standing[i]) continue;
    double dx = frames[i].copXmm - m.meanXmm, dy = frames[i].copYmm - m.meanYmm;
    sxx += dx * dx;
    syy += dy * dy;
    sxy += dx * dy;
  }
  double varX = sxx / n, varY = syy / n;
  m.covarianceXY = sxy / n;
  m.rmsXmm = std::sqrt(varX);
  m.rmsYmm = std::sqrt(varY);
  m.rangeXmm = maxX - minX;
  m.rangeYmm = maxY - minY;
  if (m.steps > 0) m.velocityMmPerS = m.pathMm / (static_cast<double>(m.steps) * periodSeconds);
  double determinant = std::max(0.0, varX * varY - m.covarianceXY * m.covarianceXY);
  m.ellipse95AreaMm2 = kPi * kEllipse95ChiSquared * std::sqrt(determinant);
  MeasureSpectrum(frames, standing, periodSeconds, m);
  return m;
}

}  // namespace kymhost
