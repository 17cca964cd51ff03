// Reads a recorded trial: kymhost's own CSV, or any recording with a time column, a vertical
// force or total weight column and the centre of pressure in x and y.
//
// The first line that is not blank and not a '#' comment is the header. It names the columns;
// case, spaces, '_', '-' and '.' in names do not matter, and columns it does not know are
// ignored (of two columns of one kind, the first counts). It also decides what separates the
// values: the most frequent of comma, semicolon and tab, or else runs of spaces (so names such
// as "CoP X" need one of the three). Units come from the name, as "name[unit]", "name(unit)" or
// "name_unit":
//   time              "time", "t"                                    s (default) or ms
//   force or weight   "Fz", "force" (default N); "total", "weight"   N (divided by 9.80665) or kg
//   centre of pressure "COPx", "cop_x", "CoP X", "COP ML";           mm (default), cm or m
//                     "COPy", "cop_y", "CoP Y", "COP AP"
//   corners           "top_left", "bottom_left", "top_right",        kg (default) or N
//                     "bottom_right" (kymhost's CSV)
//   markers           "marker": a positive whole number, or empty
// A value may have a decimal comma when commas do not separate the values.
#pragma once

#include <string>
#include <vector>

namespace recording {

// The board's axes are x to the right and y to the front. Files whose axes differ: swap x and y
// first, then change the signs asked for.
struct Axes {
  bool swap = false;
  bool flipX = false;
  bool flipY = false;
};

// Adds "swap", "flip-x" or "flip-y" (any case) to axes; false for any other word.
bool AddAxesWord(const std::string& word, Axes& axes);

constexpr int kCorners = 4;

struct Sample {
  double seconds;  // as the file has it, converted to seconds
  double totalKg;
  double copXmm;  // from the board's centre, after the axes options
  double copYmm;
  // Top left, bottom left, top right, bottom right, as kymhost's CSV orders them (its channels
  // 1 to 4); meaningful when the trial has corners.
  double cornersKg[kCorners];
  int marker;  // 0 when the row has none
  long line;   // where the row is in the file, for messages about it
};

// What a recording says besides its samples.
struct TrialInfo {
  bool hasCorners = false;
  bool hasMarkers = false;
  std::vector<std::string> comments;  // the '#' lines, without the '#' and the blanks after it
};

struct Trial : TrialInfo {
  std::vector<Sample> samples;  // at least one, their times increasing
};

// Takes a recording's samples as they are read, so that a long one need not be held as text and
// samples both.
class SampleSink {
 public:
  virtual ~SampleSink() = default;
  // Called once, after the header and before the first sample.
  virtual void Begin(const TrialInfo& info) { static_cast<void>(info); }
  virtual void Add(const Sample& sample) = 0;
};

// The board the centres of pressure refer to: its sensor centres lie this far apart.
constexpr double kSensorSpanXmm = 433.0;  // left to right
constexpr double kSensorSpanYmm = 238.0;  // front to back

// The corners (top left, bottom left, top right, bottom right) that carry totalKg with its centre of
// pressure where the sample has it: of the many such sets, the one whose diagonals carry equal sums.
void CornersOfCentre(double totalKg, double copXmm, double copYmm, double cornersKg[kCorners]);

// Reads a recording from text; name is what messages call it. False when it cannot, with error
// set to "name:line: what is wrong" (or "name: what is wrong" when it concerns no one line).
bool ParseTrial(const std::string& text, const std::string& name, const Axes& axes, Trial& trial, std::string& error);

// Reads the recording in the file at path, which messages name.
bool ReadTrial(const std::string& path, const Axes& axes, Trial& trial, std::string& error);

// The same, handing each sample to sink as it is read; info gets the comments too.
bool ReadTrialSamples(const std::string& path, const Axes& axes, TrialInfo& info, SampleSink& sink,
                      std::string& error);

}  // namespace recording
