#include "measures/sway_measures.h"

#include "measures/lowpass.h"
#include "measures/math_constants.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kymhost {

namespace {

double MedianTotal(const std::vector<SwayFrame>& frames) {
  std::vector<double> totals;
  totals.reserve(frames.size());
  for (const SwayFrame& f : frames) totals.push_back(f.totalKg);
  std::sort(totals.begin(), totals.end());
  size_t middle = totals.size() / 2;
  return totals.size() % 2 ? totals[middle] : (totals[middle - 1] + totals[middle]) / 2;
}

double StandingLeastKg(const std::vector<SwayFrame>& frames) {
  return frames.empty() ? kStandingLeastKg : std::max(kStandingShareOfMedian * MedianTotal(frames), kStandingLeastKg);
}

std::vector<bool> StandingFrames(const std::vector<SwayFrame>& frames, double least) {
  std::vector<bool> standing(frames.size(), false);
  for (size_t i = 0; i < frames.size(); ++i) standing[i] = frames[i].totalKg >= least;
  return standing;
}

// Filters each stretch of consecutive standing frames on its own: stepping off and on would
// otherwise smear the jump of the centre of pressure into the frames beside it.
void FilterStretches(std::vector<SwayFrame>& frames, const std::vector<bool>& standing, double cutoffHz,
                     double sampleRateHz) {
  std::vector<double> x, y;
  for (size_t start = 0; start < frames.size();) {
    if (!standing[start]) {
      ++start;
      continue;
    }
    size_t end = start;
    x.clear();
    y.clear();
    for (; end < frames.size() && standing[end]; ++end) {
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
void MeasureSpectrum(const std::vector<SwayFrame>& frames, const std::vector<bool>& standing, double periodSeconds,
                     SwayMeasures& m) {
  auto [start, end] = LongestStretch(standing);
  if (static_cast<double>(end - start) * periodSeconds < kLeastSpectrumSeconds - periodSeconds / 2) return;
  std::vector<double> x, y;
  for (size_t i = start; i < end; ++i) {
    x.push_back(frames[i].copXmm);
    y.push_back(frames[i].copYmm);
  }
  m.spectrumX = WelchSpectrum(x, 1 / periodSeconds);
  m.spectrumY = WelchSpectrum(y, 1 / periodSeconds);
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

SwayMeasures MeasureSway(const std::vector<SwayFrame>& recorded, double periodSeconds, double lowpassHz,
                         const std::vector<bool>* standingGiven) {
  SwayMeasures m;
  m.frames = static_cast<long>(recorded.size());
  m.lowpassHz = lowpassHz;
  m.standingLeastKg = StandingLeastKg(recorded);
  std::vector<bool> standing = standingGiven && standingGiven->size() == recorded.size()
                                   ? *standingGiven
                                   : StandingFrames(recorded, m.standingLeastKg);
  std::vector<SwayFrame> frames = recorded;
  if (lowpassHz > 0) FilterStretches(frames, standing, lowpassHz, 1 / periodSeconds);

  double sumKg = 0, sumX = 0, sumY = 0;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
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
  for (size_t i = 0; i < frames.size(); ++i) {
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
