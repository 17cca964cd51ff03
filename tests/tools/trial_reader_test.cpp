// The reader of recorded trials, on the headers, units and mistakes of the files people have,
// and kymhost analyse's demand for evenly spaced samples.
#include "files/recorded_trial.h"
#include "recording/force_plate_exports.h"
#include "recording/trial_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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

// A Nexus export's second plate and a six-column export, read through the sink the analysis uses.
TEST(TrialReader, ForcePlateExportsAndTheirMistakes) {
  const std::string nexusHead =
      "Devices\n1000\n,,Plate 1 - Force,,,Plate 1 - CoP,,,Plate 2 - Force,,,Plate 2 - CoP,,\n"
      "Frame,Sub Frame,Fx,Fy,Fz,Cx,Cy,Cz,Fx,Fy,Fz,Cx,Cy,Cz\n,,N,N,N,mm,mm,mm,N,N,N,cm,cm,cm\n";
  const struct {
    const char* what;
    bool nexus;
    std::string text;
    int plate;
    double rateHz, depthMm;
    std::string error;
    double seconds = 0, totalKg = 0, xMm = 0, yMm = 0;  // the last sample
  } cases[] = {
      // Two sub frames a frame at 1000 Hz: frame 2, sub frame 1 is the fourth millisecond; Fz is
      // the force on the plate, downwards; plate 2's centre is in centimetres.
      {"Nexus, second plate", true, nexusHead + "1,0,0,0,0,0,0,0,0,0,-686.4655,1,2,0\n1,1,0,0,0,0,0,0,0,0,-686.4655,1,2,0\n"
       "2,0,0,0,0,0,0,0,0,0,-686.4655,1,2,0\n2,1,0,0,0,0,0,0,0,0,-686.4655,1.5,-2,0\n\nTrajectories\n", 2, 0, 0, "",
       0.003, 70, 15, -20},
      {"Nexus, a plate it does not have", true, nexusHead + "1,0,0,0,0,0,0,0,0,0,0,0,0,0\n", 3, 0, 0,
       "t.txt:4: there is no force plate 3 (it has 2)"},
      {"Nexus, a bad value", true, nexusHead + "1,0,0,0,-700,0,0,0,0,0,0,0,0,0\n1,1,0,0,x,0,0,0,0,0,0,0,0,0\n", 1, 0, 0,
       "t.txt:7: 'x' is not a number for the column 'Fz'"},
      // My = -13.73 N m, Fx = 10 N and the origin 40 mm down: x = (13.73 - 0.4) / 686.4655 m.
      {"six columns with the plate's depth", false, "10,0,686.4655,6.86,-13.73,0\n10 , 0 , 686.4655 , 6.86 , -13.73 , 0\n",
       1, 200, 40, "", 0.005, 70, 19.41826, 9.99322},
      {"six columns without a rate", false, "1,2,700,0,0,0\n", 1, 0, 0,
       "t.txt: a headerless six-column export does not say its rate: give it with --rate HZ"},
      {"six columns, one short", false, "1,2,700,0,0,0\n1,2,700,0,0\n", 1, 100, 0,
       "t.txt:2: 5 values where the export has six (Fx Fy Fz Mx My Mz)"},
  };
  const std::string path = "t.txt";
  for (const auto& c : cases) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(c.text.data(), 1, c.text.size(), file);
    std::fclose(file);
    kymhost::TimedTrial trial;
    kymhost::TimedTrialSink sink(trial);
    std::string error;
    bool read = c.nexus ? recording::ReadNexusDevices(path, recording::Axes(), c.plate, sink, error)
                        : recording::ReadSixColumnExport(path, recording::Axes(), c.rateHz, c.depthMm, sink, error);
    std::remove(path.c_str());
    if (!c.error.empty()) {
      EXPECT_FALSE(read) << c.what;
      EXPECT_EQ(error, c.error) << c.what;
      continue;
    }
    ASSERT_TRUE(read) << c.what << ": " << error;
    const kymhost::FrameKg& last = trial.frames.back();
    EXPECT_NEAR(trial.seconds.back(), c.seconds, 1e-12) << c.what;
    EXPECT_NEAR(last.Total(), c.totalKg, 1e-9) << c.what;
    EXPECT_NEAR(last.CopXmm(), c.xMm, 1e-4) << c.what;
    EXPECT_NEAR(last.CopYmm(), c.yMm, 1e-4) << c.what;
  }
}

}  // namespace
