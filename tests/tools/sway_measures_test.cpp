// kymhost's sway measures and their filter, against numbers worked out by hand.
#include "measures/board_layout.h"
#include "measures/combined_centre.h"
#include "measures/lowpass.h"
#include "measures/sway_measures.h"
#include "measures/weight_bearing.h"
#include "files/sway_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using kymhost::MeasureSway;
using kymhost::SwayFrame;

constexpr double kPeriod = 0.01;
constexpr double kNoFilter = 0;
constexpr double kTwoPi = 2 * 3.14159265358979323846;

// One turn of a circle of radius 10 mm about (3, -2) at constant speed, in 100 frames.
// Mean: the centre. RMS: 10/sqrt(2) = 7.0711. Range: 20 both ways (the frames hit all four
// extremes). Path: 99 chords of 2 x 10 x sin(pi/100) = 0.628215, 62.1933 mm, at
// 0.628215 / 0.01 = 62.8215 mm/s. Covariance: 50 on the diagonal, 0 off it, so the ellipse is
// pi x 5.991 x sqrt(50 x 50) = 941.0641 mm^2.
TEST(SwayMeasures, ACircleAtConstantSpeed) {
  std::vector<SwayFrame> frames;
  for (int i = 0; i < 100; ++i)
    frames.push_back({70, 3 + 10 * std::cos(kTwoPi * i / 100), -2 + 10 * std::sin(kTwoPi * i / 100)});
  kymhost::SwayMeasures m = MeasureSway(frames, kPeriod, kNoFilter);
  EXPECT_EQ(m.frames, 100);
  EXPECT_EQ(m.standingFrames, 100);
  EXPECT_NEAR(m.standingSeconds, 1.0, 1e-12);
  EXPECT_NEAR(m.meanTotalKg, 70, 1e-9);
  EXPECT_NEAR(m.meanXmm, 3, 1e-9);
  EXPECT_NEAR(m.meanYmm, -2, 1e-9);
  EXPECT_NEAR(m.rmsXmm, 7.0711, 1e-4);
  EXPECT_NEAR(m.rmsYmm, 7.0711, 1e-4);
  EXPECT_NEAR(m.rangeXmm, 20, 1e-9);
  EXPECT_NEAR(m.rangeYmm, 20, 1e-9);
  EXPECT_NEAR(m.pathMm, 62.1933, 1e-4);
  EXPECT_NEAR(m.velocityMmPerS, 62.8215, 1e-4);
  EXPECT_NEAR(m.ellipse95AreaMm2, 941.0641, 1e-4);
}

// A frame stands at 80 % of the median total and 10 kg or more; path and velocity take only
// steps between two standing frames.
TEST(SwayMeasures, StandingFramesAndTheStepsBetweenThem) {
  struct Case {
    const char* what;
    std::vector<double> totals;
    long standing;
    double pathMm;  // the frames step 1 mm to the right each, the one at 100 mm aside
  };
  const Case cases[] = {
      // Median 50: 40 stands, 39.99 does not; steps 0-1, 1-2 and 4-5 count.
      {"at the 80 % edge", {50, 50, 40, 39.99, 50, 50}, 5, 3},
      // Median 11, whose 80 % is below the 10 kg floor.
      {"at the 10 kg floor", {12, 12, 10, 9.99, 12, 12}, 5, 3},
      {"an empty board", {9.99, 9.99, 9.99, 9.99, 9.99, 9.99}, 0, 0},
  };
  const double x[] = {0, 1, 2, 100, 3, 4};
  for (const Case& c : cases) {
    std::vector<SwayFrame> frames;
    for (size_t i = 0; i < c.totals.size(); ++i) frames.push_back({c.totals[i], x[i], 0});
    kymhost::SwayMeasures m = MeasureSway(frames, kPeriod, kNoFilter);
    EXPECT_EQ(m.standingFrames, c.standing) << c.what;
    EXPECT_NEAR(m.pathMm, c.pathMm, 1e-9) << c.what;
    std::string json = kymhost::SummaryJson(m);
    if (c.standing > 0) {
      EXPECT_NEAR(m.velocityMmPerS, c.pathMm / (3 * kPeriod), 1e-9) << c.what;
      EXPECT_NEAR(m.rangeXmm, 4, 1e-9) << c.what;
    } else {
      EXPECT_NE(json.find("\"standing_frames\": 0,"), std::string::npos) << json;
      EXPECT_NE(json.find("\"cop_mean_x_mm\": null,"), std::string::npos) << json;
      EXPECT_NE(json.find("\"cop_velocity_mm_s\": null,"), std::string::npos) << json;
      EXPECT_NE(json.find("\"ellipse95_area_mm2\": null,"), std::string::npos) << json;
    }
  }
}

// The frequency measures of synthetic traces whose answers are known. Welch's windows are half
// of 50 s here, so the bins lie 0.04 Hz apart and 0.3 Hz falls between two of them.
TEST(SwayMeasures, SpectrumOfKnownTraces) {
  constexpr double kSeconds = 50, kRate = 1 / kPeriod;
  constexpr double kAny = std::numeric_limits<double>::quiet_NaN();
  std::mt19937 random(20240601);  // its raw output is the same on every platform
  auto noise = [&](double) { return 2.0 * random() / 4294967296.0 - 1; };  // variance 1/3
  auto sine = [](double amplitude, double hz) {
    return [=](double t) { return amplitude * std::sin(kTwoPi * hz * t); };
  };
  struct Expected {
    double value, within;
  };
  struct Case {
    const char* what;
    std::function<double(double)> x, y;
    double emptyFrom, emptyTo;  // seconds in which nobody stands; equal: none
    double seconds;
    long spectrumFrames;
    Expected meanX, meanY, both, f50X, f95X, peakX, powerX, powerY;
  };
  const Case cases[] = {
      {"0.3 Hz on x, 0.7 Hz on y", sine(10, 0.3), sine(6, 0.7), 0, 0, kSeconds, 5000,
       {0.3, 0.02}, {0.7, 0.02}, {kAny, 0}, {0.3, 0.02}, {kAny, 0}, {0.3, 0.04}, {50, 1}, {18, 0.4}},
      // Flat up to half the frame rate: half the power lies below a quarter of the rate.
      {"white noise", noise, noise, 0, 0, kSeconds, 5000,
       {25, 1}, {25, 1}, {25, 1}, {25, 1}, {47.5, 0.5}, {kAny, 0}, {1.0 / 3, 0.02}, {1.0 / 3, 0.02}},
      // x: powers 4.5 at 0.4 Hz and 0.5 at 1.2 Hz, mean (0.4 x 4.5 + 1.2 x 0.5) / 5 = 0.48 Hz;
      // y: power 2 at 0.6 Hz; both: (0.48 x 5 + 0.6 x 2) / 7 = 0.5143 Hz.
      {"two sines on x, one on y",
       [](double t) { return 3 * std::sin(kTwoPi * 0.4 * t) + std::sin(kTwoPi * 1.2 * t); }, sine(2, 0.6), 0, 0,
       kSeconds, 5000, {0.48, 0.01}, {0.6, 0.01}, {0.5143, 0.01}, {kAny, 0}, {kAny, 0}, {0.4, 0.04}, {5, 0.1},
       {2, 0.05}},
      // Someone steps off for half a second: the measures take the longer stretch, 30 s.
      {"the longest unbroken stretch", sine(10, 0.3), sine(6, 0.7), 19.5, 20, kSeconds, 3000,
       {0.3, 0.02}, {0.7, 0.02}, {kAny, 0}, {kAny, 0}, {kAny, 0}, {kAny, 0}, {50, 1.5}, {18, 0.5}},
      {"under two seconds", sine(10, 0.3), sine(6, 0.7), 0, 0, 1.99, 0,
       {kAny, 0}, {kAny, 0}, {kAny, 0}, {kAny, 0}, {kAny, 0}, {kAny, 0}, {kAny, 0}, {kAny, 0}},
  };
  for (const Case& c : cases) {
    std::vector<SwayFrame> frames;
    for (long i = 0; i < std::lround(c.seconds * kRate); ++i) {
      double t = static_cast<double>(i) * kPeriod;
      bool empty = t >= c.emptyFrom && t < c.emptyTo;
      frames.push_back({empty ? 0.0 : 70.0, c.x(t), c.y(t)});
    }
    kymhost::SwayMeasures m = MeasureSway(frames, kPeriod, kNoFilter);
    EXPECT_EQ(m.spectrumFrames, c.spectrumFrames) << c.what;
    if (c.spectrumFrames == 0) {
      EXPECT_NE(kymhost::SummaryJson(m).find("\"mean_freq_hz\": null,"), std::string::npos) << c.what;
      continue;
    }
    EXPECT_EQ(m.spectrumOfAllStanding, c.emptyFrom == c.emptyTo) << c.what;
    const std::pair<const char*, std::pair<Expected, double>> checks[] = {
        {"mean x", {c.meanX, m.frequencyX.meanHz}},     {"mean y", {c.meanY, m.frequencyY.meanHz}},
        {"both", {c.both, m.meanFrequencyHz}},          {"F50 x", {c.f50X, m.frequencyX.f50Hz}},
        {"F95 x", {c.f95X, m.frequencyX.f95Hz}},        {"peak x", {c.peakX, m.frequencyX.peakHz}},
        {"power x", {c.powerX, m.frequencyX.totalPower}}, {"power y", {c.powerY, m.frequencyY.totalPower}},
    };
    for (const auto& [name, check] : checks) {
      if (std::isnan(check.first.value)) continue;
      EXPECT_NEAR(check.second, check.first.value, check.first.within) << c.what << ": " << name;
    }
  }
}

// Weight bearing over the standing frames, and the centre of pressure of two boards side by side,
// 511 mm wide each: with a gap G their centres lie 511 + G apart.
TEST(SwayMeasures, WeightBearingAndTheCentreOfBoardsSideBySide) {
  struct Bearing {
    const char* what;
    std::vector<kymhost::SideLoads> frames;
    long counted;
    double meanPct, sdPct, leftPct, rightPct;
  };
  const Bearing bearings[] = {
      // 100 x (42 - 28) / 70 = +20 on every frame.
      {"40/60, steady", {{70, 28, 42}, {70, 28, 42}}, 2, 20, 0, 40, 60},
      // +40 and 0: mean 20, population SD 20; the left shares 30 and 50 average to 40.
      {"shifting", {{100, 30, 70}, {100, 50, 50}}, 2, 20, 20, 40, 60},
      // The standing least is 10 kg here: the 5 kg frame, all on the left, does not count.
      {"stepping off", {{60, 45, 15}, {5, 5, 0}, {60, 45, 15}}, 2, -50, 0, 75, 25},
  };
  for (const Bearing& b : bearings) {
    kymhost::WeightBearing w = kymhost::MeasureWeightBearing(b.frames, kymhost::kStandingLeastKg);
    EXPECT_EQ(w.frames, b.counted) << b.what;
    EXPECT_NEAR(w.meanPct, b.meanPct, 1e-9) << b.what;
    EXPECT_NEAR(w.sdPct, b.sdPct, 1e-9) << b.what;
    EXPECT_NEAR(w.leftSharePct, b.leftPct, 1e-9) << b.what;
    EXPECT_NEAR(w.rightSharePct, b.rightPct, 1e-9) << b.what;
  }

  struct Centre {
    const char* what;
    std::vector<std::string> labels;
    double gapMm;
    std::vector<kymhost::PlacedLoad> boards;
    double xMm, yMm;
    int left, right;
  };
  const Centre centres[] = {
      // Centres at -255.5 and +255.5: (-255.5 x 30 + 255.5 x 70) / 100 = 102.2.
      {"each load over its board's centre", {"", ""}, 0, {{30, 0, 0}, {70, 0, 0}}, 102.2, 0, 0, 1},
      // Centres at -300 and +300: x (40 x -290 + 60 x 290) / 100 = 58, y (40 x 20 - 60 x 20) / 100 = -4.
      {"with a gap of 89 mm", {"", ""}, 89, {{40, 10, 20}, {60, -10, -20}}, 58, -4, 0, 1},
      // Board 1 is the right one: 30 kg at +255.5, 70 kg at -255.5.
      {"labelled right and left", {"Right", "left"}, 0, {{30, 0, 0}, {70, 0, 0}}, -102.2, 0, 1, 0},
  };
  for (const Centre& c : centres) {
    kymhost::BoardLayout layout = kymhost::LayOut(c.labels, c.gapMm);
    SwayFrame all = kymhost::CombinedCentre(c.boards, layout.centreXmm);
    EXPECT_NEAR(all.totalKg, 100, 1e-9) << c.what;
    EXPECT_NEAR(all.copXmm, c.xMm, 1e-9) << c.what;
    EXPECT_NEAR(all.copYmm, c.yMm, 1e-9) << c.what;
    EXPECT_EQ(layout.left, c.left) << c.what;
    EXPECT_EQ(layout.right, c.right) << c.what;
  }
}

// A slow sine with fast noise on it comes out as the sine, on time: a lag of one frame would
// be off by up to 2 pi x 0.5 Hz x 0.01 s x 10 mm = 0.31 mm. The last frames are left out: the
// filter settles on the last value, noise and all.
TEST(Lowpass, KeepsASlowSineOnTimeAndDropsTheNoise) {
  constexpr double kRate = 100, kSlowHz = 0.5, kFastHz = 40, kCutoffHz = 10;
  std::vector<double> slow, signal;
  for (int i = 0; i < 1000; ++i) {
    double t = i / kRate;
    slow.push_back(10 * std::sin(kTwoPi * kSlowHz * t));
    signal.push_back(slow.back() + std::sin(kTwoPi * kFastHz * t));
  }
  kymhost::LowpassZeroLag(signal, kCutoffHz, kRate);
  constexpr size_t kSettling = 20;
  double worst = 0;
  for (size_t i = 0; i + kSettling < signal.size(); ++i) worst = std::max(worst, std::fabs(signal[i] - slow[i]));
  EXPECT_LT(worst, 0.02);
}

}  // namespace
