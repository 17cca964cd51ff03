// The reader of recorded trials, on the headers, units and mistakes of the files people have,
// and kymhost analyse's demand for evenly spaced samples.
#include "files/recorded_trial.h"
#include "recording/trial_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

struct Case {
  const char* what;
  std::string text;
  std::vector<std::string> axes;
  std::string error;  // what the message says; empty when the file reads
  // The last sample, when the file reads: seconds, kg, mm, mm; its corners (NaN: none) and marker.
  double seconds = 0, totalKg = 0, xMm = 0, yMm = 0;
  double corners[recording::kCorners] = {};
  int marker = 0;
  std::string label = "";
};

TEST(TrialReader, HeadersUnitsAndBadFiles) {
  const Case cases[] = {
      {"kymhost's own CSV, label and markers",
       "# label: eyes open\n"
       "time_s,top_left_kg,bottom_left_kg,top_right_kg,bottom_right_kg,total_kg,cop_x_mm,cop_y_mm,marker\r\n"
       "0.00,17.500,17.500,17.500,17.500,70.000,0.0,0.0,\r\n"
       "0.01,10.000,20.000,30.000,40.000,100.000,86.6,-11.9,2\r\n",
       {}, "", 0.01, 100, 86.6, -11.9, {10, 20, 30, 40}, 2, "eyes open"},
      // Swapped axes carry the corners with them: the file's top left is the board's bottom right.
      {"kymhost's CSV with its axes swapped",
       "time_s,top_left_kg,bottom_left_kg,top_right_kg,bottom_right_kg,total_kg,cop_x_mm,cop_y_mm,marker\n"
       "0.00,17.5,17.5,17.5,17.5,70,0,0,\n0.01,10,20,30,40,100,86.6,-11.9,\n",
       {"swap"}, "", 0.01, 100, -11.9, 86.6, {40, 20, 30, 10}, 0, ""},
      {"semicolons, decimal commas, milliseconds, newtons and centimetres",
       "\xEF\xBB\xBFTime [ms];Fz [N];CoP X [cm];CoP Y (cm)\n0;686,4655;1,5;-0,5\n10;686,4655;1,5;-0,5\n",
       {}, "", 0.01, 70, 15, -5, {kNone}, 0, ""},
      {"tabs, names with units after '_', metres, flipped y",
       "t\tweight_kg\tCOP_ML_m\tCOP_AP_m\n0\t70\t0.01\t0.02\n0.02\t70\t0.01\t0.02\n",
       {"flip-y"}, "", 0.02, 70, 10, -20, {kNone}, 0, ""},
      {"spaces, default units, unknown columns ignored",
       "Fx Fy t Fz Mx COPx COPy\n1 2 0.4 686.4655 9 3 4\n  1   2   0.5  686.4655 9 3 4  \n",
       {}, "", 0.5, 70, 3, 4, {kNone}, 0, ""},
      {"no time column", "Fz,COPx,COPy\n700,1,2\n", {}, "trial.csv:1: no time column"},
      {"no force column", "time,COPx,COPy\n0,1,2\n", {}, "trial.csv:1: no force or weight column"},
      {"a unit it does not know", "time,Fz[lbf],COPx,COPy\n0,150,1,2\n", {},
       "trial.csv:1: the unit 'lbf' of the column 'Fz[lbf]' is not one it knows (N or kg)"},
      {"times going backwards", "# a comment\ntime,Fz,COPx,COPy\n0.01,700,1,2\n0.02,700,1,2\n0.015,700,1,2\n", {},
       "trial.csv:5: the time 0.015 s does not come after 0.02 s on line 4"},
      {"a bad number", "time,Fz,COPx,COPy\n0,700,1,2\n0.01,7OO,1,2\n", {},
       "trial.csv:3: '7OO' is not a number for the column 'Fz'"},
      {"a short row", "time,Fz,COPx,COPy\n0,700,1\n", {}, "trial.csv:2: 3 values where the header's columns need 4"},
      {"only a header", "time,Fz,COPx,COPy\n\n", {}, "trial.csv: no samples after the header"},
      // Read, but not evenly spaced enough for kymhost analyse.
      {"uneven times", "time,Fz,COPx,COPy\n0,700,1,2\n0.01,700,1,2\n0.02,700,1,2\n0.04,700,1,2\n", {},
       "trial.csv:5: the time 0.04 s comes 0.02 s after the one before, where the samples are 0.01 s apart"},
  };
  for (const Case& c : cases) {
    recording::Axes axes;
    for (const std::string& word : c.axes) ASSERT_TRUE(recording::AddAxesWord(word, axes)) << word;
    recording::Trial trial;
    kymhost::RecordedTrial recorded;
    std::string error;
    bool read = recording::ParseTrial(c.text, "trial.csv", axes, trial, error) &&
                kymhost::FramesOfTrial(trial, "trial.csv", recorded, error);
    if (!c.error.empty()) {
      EXPECT_FALSE(read) << c.what;
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.what << ": " << error;
      continue;
    }
    ASSERT_TRUE(read) << c.what << ": " << error;
    const recording::Sample& last = trial.samples.back();
    EXPECT_NEAR(last.seconds, c.seconds, 1e-12) << c.what;
    EXPECT_NEAR(last.totalKg, c.totalKg, 1e-9) << c.what;
    EXPECT_NEAR(last.copXmm, c.xMm, 1e-9) << c.what;
    EXPECT_NEAR(last.copYmm, c.yMm, 1e-9) << c.what;
    EXPECT_EQ(trial.hasCorners, !std::isnan(c.corners[0])) << c.what;
    for (int i = 0; i < recording::kCorners && trial.hasCorners; ++i)
      EXPECT_EQ(last.cornersKg[i], c.corners[i]) << c.what << ", corner " << i;
    EXPECT_EQ(last.marker, c.marker) << c.what;
    EXPECT_EQ(recorded.label, c.label) << c.what;
  }
}

}  // namespace
