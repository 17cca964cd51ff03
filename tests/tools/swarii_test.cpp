// SWARII on a hand-made uneven signal, each resampled value worked out by hand from the window's
// samples and their relevance intervals (borders at the midpoints between samples).
#include "measures/swarii.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Swarii, WeighsEachSampleByItsRelevanceWithinTheWindow) {
  // Samples at 0, 0.1, 0.15, 0.4 and 0.5 s; resampled at 10 Hz (0 to 0.4 s).
  const std::vector<double> seconds = {0, 0.1, 0.15, 0.4, 0.5}, values = {1, 3, 5, 7, 9};
  const struct {
    double window;
    std::vector<double> expected;
  } cases[] = {
      // 0.2 s: at 0.1 s the sample at 0.1 s counts from the window's start (0) to the midpoint
      // 0.125, the one at 0.15 s from there to the window's end (0.2): (3 x 0.125 + 5 x 0.075) / 0.2.
      // The window at 0.3 s holds no sample and keeps the value before.
      {0.2, {1, 3.75, 5, 5, 7}},
      // 0.5 s: at 0 s the first sample counts only from the recording's start, 0 to 0.05;
      // at 0.3 s the last one only to the recording's end, 0.45 to 0.5:
      // (3 x 0.075 + 5 x 0.15 + 7 x 0.175 + 9 x 0.05) / 0.45.
      {0.5, {0.9 / 0.25, 1.4 / 0.35, 2.25 / 0.45, 2.65 / 0.45, 2.55 / 0.35}},
  };
  for (const auto& c : cases) {
    std::vector<double> resampled = kymhost::Swarii(seconds, values, 10, c.window);
    ASSERT_EQ(resampled.size(), c.expected.size()) << c.window;
    for (size_t k = 0; k < resampled.size(); ++k) EXPECT_NEAR(resampled[k], c.expected[k], 1e-12) << c.window << " s, " << k;
  }
}

}  // namespace
