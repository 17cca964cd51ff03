// kymhost as its users run it: a process with a scenario named by PLANKSCALE_SIM, judged by what
// it prints, the files it writes and its exit code. Recordings run in real time, so they are
// short, unless the test puts them on the virtual clock; every wait for the process is bounded.
#include "files/recorded_trial.h"
#include "kymhost_process.h"
#include "measures/sway_measures.h"
#include "recording/trial_reader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace kymhost_process;

// A minimal well-formedness check: one root, every element closed in order.
bool WellFormedXml(const std::string& text, std::string& why) {
  std::vector<std::string> open;
  int roots = 0;
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    size_t end = text.find('>', at);
    if (end == std::string::npos) return why = "a tag is not closed", false;
    std::string tag = text.substr(at + 1, end - at - 1);
    if (tag.empty()) return why = "an empty tag", false;
    if (tag[0] == '?' || tag[0] == '!') continue;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) return why = "</" + tag.substr(1) + "> closes nothing open", false;
      open.pop_back();
      continue;
    }
    if (open.empty()) ++roots;
    if (tag.back() == '/') continue;
    open.push_back(tag.substr(0, tag.find_first_of(" \t\n")));
  }
  if (!open.empty()) return why = "<" + open.back() + "> is never closed", false;
  if (roots != 1) return why = std::to_string(roots) + " root elements", false;
  return true;
}

// The keys of a flat JSON object, in order, each with its value as written (an array or a
// string whole).
std::vector<std::pair<std::string, std::string>> JsonFields(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (size_t at = text.find('"'); at != std::string::npos; at = text.find('"', at)) {
    size_t keyEnd = text.find('"', at + 1);
    size_t valueStart = text.find_first_not_of(": ", keyEnd + 1);
    size_t valueEnd = text.find_first_of(",\n}", valueStart);
    auto past = [](size_t found) { return found == std::string::npos ? found : found + 1; };
    if (valueStart != std::string::npos && text[valueStart] == '[') valueEnd = past(text.find(']', valueStart));
    if (valueStart != std::string::npos && text[valueStart] == '"') valueEnd = past(text.find('"', valueStart + 1));
    if (keyEnd == std::string::npos || valueEnd == std::string::npos) break;
    fields.emplace_back(text.substr(at + 1, keyEnd - at - 1), text.substr(valueStart, valueEnd - valueStart));
    at = valueEnd;
  }
  return fields;
}

// The value of one key, as written; empty when the object has no such key.
std::string Field(const std::vector<std::pair<std::string, std::string>>& fields, const std::string& key) {
  for (const auto& field : fields)
    if (field.first == key) return field.second;
  return {};
}

std::string ThreeDecimals(const std::string& seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", std::atof(seconds.c_str()));
  return text;
}

TEST_F(Kymhost, RecordsTwoSecondsWithItsCsvPlotAndSummary) {
  std::string csv = Path("run.csv"), plot = Path("run.svg"), summary = Path("run.json");
  Outcome run = Run("radio\nboard paired yes\n  load still 70 kg split 40/60\n",
                    {"--seconds", "2", "--csv", csv, "--plot", plot, "--summary", summary, "--lowpass", "10"});
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitOk) << run.Both();
  EXPECT_NE(run.out.find("Board:          Wii Balance Board\n"), std::string::npos) << run.Both();
  EXPECT_NE(run.out.find("Recorded 200 frames (2.00 s)."), std::string::npos) << run.Both();
  EXPECT_NE(run.out.find("Board closed."), std::string::npos) << run.Both();

  // Every frame: time at 10 ms steps, four corners, total, centre of pressure.
  std::istringstream rows(ReadFile(csv));
  std::string line;
  ASSERT_TRUE(std::getline(rows, line));
  EXPECT_EQ(line, "time_s,top_left_kg,bottom_left_kg,top_right_kg,bottom_right_kg,total_kg,cop_x_mm,cop_y_mm,marker");
  int count = 0;
  double copX = 0;
  while (std::getline(rows, line)) {
    double t, tl, bl, tr, br, total, x, y;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf", &t, &tl, &bl, &tr, &br, &total, &x, &y), 8)
        << line;
    EXPECT_NEAR(t, count * kFramePeriod, 1e-6) << line;
    EXPECT_NEAR(tl + bl + tr + br, total, 0.005) << line;
    EXPECT_NEAR(total, 70.0, 0.7) << line;  // within 1 %
    copX += x;
    ++count;
  }
  EXPECT_EQ(count, 200);
  // 60 % on the right: the centre of pressure sits a tenth of the sensor span right of centre.
  EXPECT_NEAR(copX / count, 43.3, 2.0);

  std::string svg = ReadFile(plot), why;
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_TRUE(WellFormedXml(svg, why)) << why;
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  size_t points = svg.find("points=\"");
  ASSERT_NE(points, std::string::npos);
  std::string firstTrace = svg.substr(points + 8, svg.find('"', points + 8) - points - 8);
  EXPECT_EQ(std::count(firstTrace.begin(), firstTrace.end(), ','), 200) << "one point a frame";
  EXPECT_NE(svg.find("<ellipse"), std::string::npos);

  // The sway measures, printed and as JSON: everyone stood, 60 % on the right as above.
  EXPECT_NE(run.out.find("Sway over 2.00 s standing (200 of 200 frames), mean 70.0 kg, low-pass 10 Hz:\n"),
            std::string::npos)
      << run.Both();
  auto fields = JsonFields(ReadFile(summary));
  const char* keys[] = {"frames",         "standing_frames",   "standing_seconds",   "mean_total_kg",
                        "cop_mean_x_mm",  "cop_mean_y_mm",     "cop_rms_x_mm",       "cop_rms_y_mm",
                        "cop_range_x_mm", "cop_range_y_mm",    "cop_path_mm",        "cop_velocity_mm_s",
                        "ellipse95_area_mm2", "mean_freq_x_hz", "mean_freq_y_hz",    "mean_freq_hz",
                        "f50_x_hz",       "f50_y_hz",          "f95_x_hz",           "f95_y_hz",
                        "peak_freq_x_hz", "peak_freq_y_hz",    "total_power_x_mm2",  "total_power_y_mm2",
                        "wba_mean_pct",   "wba_sd_pct",        "left_share_pct",     "right_share_pct",
                        "lowpass_hz",     "resampled_hz",      "resample_window_s",  "label",
                        "from_s",         "to_s",              "markers_s"};
  ASSERT_EQ(fields.size(), std::size(keys)) << ReadFile(summary);
  for (size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(fields[i].first, keys[i]);
  auto number = [&](size_t i) { return std::atof(fields[i].second.c_str()); };
  EXPECT_EQ(fields[0].second, "200");
  EXPECT_EQ(fields[1].second, "200");
  EXPECT_EQ(fields[2].second, "2.00");
  EXPECT_NEAR(number(3), 70.0, 0.7);
  EXPECT_NEAR(number(4), 43.3, 2.0);
  EXPECT_NEAR(number(5), 0.0, 2.0);
  // The board's right half bears 60 %: 100 x (60 - 40) / 100.
  EXPECT_NEAR(number(24), 20.0, 1.0);
  EXPECT_NEAR(number(26), 40.0, 0.5);
  EXPECT_NEAR(number(27), 60.0, 0.5);
  EXPECT_EQ(fields[28].second, "10");
}

TEST_F(Kymhost, AnalyseOfItsOwnCsvGivesTheLiveSummary) {
  std::string csv = Path("run.csv"), live = Path("live.json"), analysed = Path("analysed.json");
  std::string ratios = Path("romberg.json");
  Outcome run = Run("radio\nboard paired yes\n  load sway 70 kg\n",
                    {"--seconds", "3", "--csv", csv, "--summary", live, "--lowpass", "10", "--label", "eyes \"open\""});
  ASSERT_EQ(run.exitCode, kExitOk) << run.Both();
  Outcome analyse = Run("", {"analyse", csv, "--summary", analysed, "--lowpass", "10"});
  ASSERT_EQ(analyse.exitCode, kExitOk) << analyse.Both();
  std::string summary = ReadFile(live);
  EXPECT_EQ(ReadFile(analysed), summary);
  EXPECT_NE(summary.find("\"label\": \"eyes \\\"open\\\"\",\n"), std::string::npos) << summary;
  EXPECT_NE(Field(JsonFields(summary), "mean_freq_hz"), "null") << summary;

  // The same recording as eyes open and eyes closed: every ratio is 1.
  Outcome romberg = Run("", {"analyse", "--romberg", csv, csv, "--summary", ratios});
  ASSERT_EQ(romberg.exitCode, kExitOk) << romberg.Both();
  std::string json = ReadFile(ratios);
  auto fields = JsonFields(json.substr(json.find("\"closed_over_open\"")));
  ASSERT_GT(fields.size(), 20u) << json;
  for (size_t i = 1; i < fields.size(); ++i)
    EXPECT_TRUE(fields[i].second == "1.000" || fields[i].second == "null") << fields[i].first << ": " << fields[i].second;
}

TEST_F(Kymhost, MarkersAndSegmentsChooseTheMeasuredPart) {
  using Ms = std::chrono::milliseconds;
  std::string csv = Path("run.csv"), live = Path("live.json"), part = Path("part.json");
  Outcome run = Run("radio\nboard paired yes\n  load sway 70 kg\n",
                    {"--seconds", "4", "--csv", csv, "--summary", live, "--from", "0.5", "--to", "2.5"}, Ms(0),
                    {{Ms(800), "\n"}, {Ms(1800), "\n"}});
  ASSERT_EQ(run.exitCode, kExitOk) << run.Both();
  EXPECT_NE(run.out.find("Marker 1 at "), std::string::npos) << run.Both();
  EXPECT_NE(run.out.find("Marker 2 at "), std::string::npos) << run.Both();

  // Each marker on one frame of the CSV, in its last column.
  std::istringstream rows(ReadFile(csv));
  std::string line;
  std::vector<std::pair<std::string, std::string>> marked;  // time, marker
  std::getline(rows, line);
  while (std::getline(rows, line))
    if (line.back() != ',') marked.emplace_back(line.substr(0, line.find(',')), line.substr(line.rfind(',') + 1));
  ASSERT_EQ(marked.size(), 2u) << ReadFile(csv);
  EXPECT_EQ(marked[0].second, "1");
  EXPECT_EQ(marked[1].second, "2");
  std::string first = ThreeDecimals(marked[0].first), second = ThreeDecimals(marked[1].first);

  // The live summary measures 0.5 s to 2.5 s and lists both markers.
  auto fields = JsonFields(ReadFile(live));
  EXPECT_EQ(Field(fields, "frames"), "200");
  EXPECT_EQ(Field(fields, "from_s"), "0.500");
  EXPECT_EQ(Field(fields, "to_s"), "2.500");
  EXPECT_EQ(Field(fields, "markers_s"), "[" + first + ", " + second + "]");

  // analyse measures from one marker to the other ...
  Outcome between = Run("", {"analyse", csv, "--from-marker", "1", "--to-marker", "2", "--summary", part});
  ASSERT_EQ(between.exitCode, kExitOk) << between.Both();
  fields = JsonFields(ReadFile(part));
  long frames = std::lround((std::atof(second.c_str()) - std::atof(first.c_str())) / kFramePeriod);
  EXPECT_EQ(Field(fields, "frames"), std::to_string(frames));
  EXPECT_EQ(Field(fields, "from_s"), first);
  EXPECT_EQ(Field(fields, "to_s"), second);
  // ... and names the markers there are when asked for one there is not.
  Outcome missing = Run("", {"analyse", csv, "--from-marker", "3"});
  EXPECT_EQ(missing.exitCode, kExitInputFailed) << missing.Both();
  EXPECT_NE(missing.err.find("there is no marker 3 (it has 1, 2)"), std::string::npos) << missing.Both();
}

TEST_F(Kymhost, WithoutARadioPassesOnThePluginsMessage) {
  Outcome run = Run("board paired yes\n  load still 70 kg\n", {"--seconds", "2"});
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitNoBoard) << run.Both();
  EXPECT_NE(run.out.find("No board found: No Bluetooth radio was found. Check that your Bluetooth interface is "
                         "connected and that you have the Microsoft Bluetooth driver software.\n"),
            std::string::npos)
      << run.Both();
}

TEST_F(Kymhost, VersionNamesItsOwnAndThePluginsFileVersion) {
  Outcome run = Run("radio\n", {"--version"});
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitOk) << run.Both();
  EXPECT_EQ(run.out.rfind(std::string("kymhost ") + PLANKSCALE_VERSION + "\n", 0), 0u) << run.Both();
  EXPECT_NE(run.out.find(std::string(", file version ") + PLANKSCALE_VERSION + "\n"), std::string::npos) << run.Both();
  EXPECT_EQ(run.out.find("Searching"), std::string::npos) << run.Both();
}

TEST_F(Kymhost, ABrokenScenarioIsNamedAndLeavesAnEmptyWorld) {
  Outcome run = Run("radio\nboard\n  load still seventy\n", {"--seconds", "2"});
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitNoBoard) << run.Both();
  EXPECT_NE(run.err.find("world.scenario:3: 'seventy' is not a number for the weight"), std::string::npos)
      << run.Both();
  EXPECT_NE(run.out.find("No Bluetooth radio was found."), std::string::npos) << run.Both();
}

// A person standing quietly for a minute, as a force plate exports it at 100 Hz: the centre of
// pressure wanders in slow rhythms with smaller, faster ones on top, and the force breathes.
std::string QuietStandingTrial() {
  constexpr double kTwoPi = 6.283185307179586;
  const struct {
    double hz, xMm, yMm, phase;
  } rhythms[] = {{0.06, 3.0, 4.5, 0.3}, {0.15, 2.4, 3.6, 1.9}, {0.31, 1.7, 2.6, 4.0}, {0.53, 1.1, 1.5, 2.2},
                 {0.86, 0.6, 0.9, 5.1}, {1.37, 0.35, 0.45, 0.8}, {2.2, 0.15, 0.2, 3.3}};
  std::string text = "Time [s],Fz [N],COPx [mm],COPy [mm]\n";
  for (int i = 0; i < 6000; ++i) {
    double t = i * kFramePeriod, x = 6.0, y = -14.0;
    for (const auto& r : rhythms) {
      x += r.xMm * std::sin(kTwoPi * r.hz * t + r.phase);
      y += r.yMm * std::sin(kTwoPi * r.hz * t + 1.7 * r.phase);
    }
    char row[96];
    std::snprintf(row, sizeof row, "%.2f,%.2f,%.3f,%.3f\n", t, 686.5 + 4.0 * std::sin(kTwoPi * 0.25 * t), x, y);
    text += row;
  }
  return text;
}

// The trial replayed from the host's run start, on a board that reports every 10 ms, gives kymhost
// the sway measures of the file itself. Both are low-pass filtered at 10 Hz, as for any board: a
// sensor's raw unit is about 10 g, and unfiltered that step adds some 4 % to this slow trial's path.
TEST_F(Kymhost, ARecordingReplayedFromTheRunStartGivesItsOwnSwayMeasures) {
  constexpr double kLowpassHz = 10;
  std::string trialFile = Path("trial.csv"), summary = Path("replay.json");
  const std::string trialText = QuietStandingTrial();
  WriteFile(trialFile, trialText);
  setenv("PLANKSCALE_CLOCK", "virtual", 1);  // a minute's run in moments, and no frame lost to a busy machine
  Outcome run = Run("radio\nboard paired yes\n  report-interval 10 ms\n  jitter 0\n  load replay \"" + trialFile +
                        "\" with sampling\n",
                    {"--seconds", "60", "--summary", summary, "--lowpass", "10"});
  unsetenv("PLANKSCALE_CLOCK");
  ASSERT_EQ(run.exitCode, kExitOk) << run.Both();

  recording::Trial trial;
  kymhost::RecordedTrial recorded;
  std::string error;
  ASSERT_TRUE(recording::ParseTrial(trialText, "trial.csv", recording::Axes(), trial, error) &&
              kymhost::FramesOfTrial(trial, "trial.csv", recorded, error))
      << error;
  std::vector<kymhost::SwayFrame> frames;
  for (const kymhost::FrameKg& f : recorded.frames) frames.push_back({f.Total(), f.CopXmm(), f.CopYmm()});
  kymhost::SwayMeasures file = kymhost::MeasureSway(frames, recorded.periodSeconds, kLowpassHz);

  auto fields = JsonFields(ReadFile(summary));
  EXPECT_EQ(Field(fields, "frames"), "6000");
  const std::pair<const char*, double> measures[] = {
      {"cop_path_mm", file.pathMm},         {"cop_velocity_mm_s", file.velocityMmPerS},
      {"cop_rms_x_mm", file.rmsXmm},        {"cop_rms_y_mm", file.rmsYmm},
      {"cop_range_x_mm", file.rangeXmm},    {"cop_range_y_mm", file.rangeYmm},
      {"ellipse95_area_mm2", file.ellipse95AreaMm2}};
  for (const auto& measure : measures) {
    double replayed = std::atof(Field(fields, measure.first).c_str());
    EXPECT_NEAR(replayed, measure.second, 0.01 * measure.second) << measure.first;
    RecordProperty(measure.first, Field(fields, measure.first) + " of " + std::to_string(measure.second));
  }
}

// A capture's replay gives kymhost the very frames of the captured run. Both runs are on the
// virtual clock, where they see the same moments: in real time a report near a frame's edge may
// land in the next frame.
TEST_F(Kymhost, ACaptureReplayedGivesTheCapturedRunsCsvByteForByte) {
  std::string capture = Path("capture.txt"), recorded = Path("recorded.csv"), replayed = Path("replayed.csv");
  setenv("PLANKSCALE_CLOCK", "virtual", 1);
  Outcome record = Run("radio\nboard paired yes\n  report-interval 16.667 ms uneven\n  noise 3\n"
                       "  load sway 70 kg split 45/55 amplitude 15 mm period 2 s\n",
                       {"--seconds", "4", "--csv", recorded, "--capture", capture});
  Outcome replay = Run("radio\nboard paired yes replay-capture \"" + capture + "\"\n", {"--seconds", "4", "--csv", replayed});
  unsetenv("PLANKSCALE_CLOCK");
  ASSERT_EQ(record.exitCode, kExitOk) << record.Both();
  ASSERT_EQ(replay.exitCode, kExitOk) << replay.Both();

  std::istringstream expected(ReadFile(recorded)), got(ReadFile(replayed));
  std::string expectedRow, gotRow;
  int row = 0;
  while (std::getline(expected, expectedRow)) {
    ++row;
    ASSERT_TRUE(std::getline(got, gotRow)) << "the replay ends before row " << row;
    ASSERT_EQ(gotRow, expectedRow) << "row " << row;
  }
  EXPECT_FALSE(std::getline(got, gotRow)) << "the replay has more rows than the " << row << " recorded";
  EXPECT_EQ(row, 401);  // the header and 4 s of frames
}

// A CSV's rows after its header, each split at its commas.
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  bool header = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (!header) {
      header = true;
      continue;
    }
    std::vector<std::string> cells;
    size_t at = 0;
    for (size_t comma; (comma = line.find(',', at)) != std::string::npos; at = comma + 1)
      cells.push_back(line.substr(at, comma - at));
    cells.push_back(line.substr(at));
    rows.push_back(cells);
  }
  return rows;
}

constexpr int kBoardCells = 7;  // each board's corners, total and centre of pressure

// The four corners (top left, bottom left, top right, bottom right) of every data report a
// capture holds from the run's start on, as kymhost's CSV writes them: the plug-in's conversion
// with the default calibration, at 75/32000 kg a unit. The run starts with the host's request for
// its reports, which the reader sends at once; startMicros is when.
struct CapturedReport {
  long micros;  // since the board's open
  std::vector<std::string> corners;
};

std::vector<CapturedReport> CapturedCorners(const std::string& capture, long& startMicros) {
  const double zero[] = {1906, 2069, 1776, 2226}, full[] = {5364, 5581, 5166, 5696};  // sensors 0..3, at 0 and 34 kg
  const int sensorOfCorner[] = {2, 3, 0, 1};
  std::vector<CapturedReport> reports;
  size_t runStart = 0;
  std::istringstream lines(ReadFile(capture));
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" out 12 04 32") != std::string::npos) {
      runStart = reports.size();
      startMicros = std::atol(line.c_str());
    }
    size_t in = line.find(" in 32 ");
    if (in == std::string::npos) continue;
    std::vector<std::string> corners;
    for (int sensor : sensorOfCorner) {
      int raw = std::stoi(line.substr(in + 4 + 3 * (3 + 2 * sensor), 2) + line.substr(in + 4 + 3 * (4 + 2 * sensor), 2),
                          nullptr, 16);
      double perKg = (full[sensor] - zero[sensor]) / 34.0;
      double scaled = (raw - zero[sensor]) / perKg * 32000.0 / 75.0;
      int value = std::clamp(static_cast<int>(scaled + 0.5), -32000, 32000);
      char kg[32];
      std::snprintf(kg, sizeof kg, "%.3f", value * (150.0 / 64000.0));  // as kymhost reads the scaling
      corners.push_back(kg);
    }
    reports.push_back({std::atol(line.c_str()), corners});
  }
  reports.erase(reports.begin(), reports.begin() + static_cast<std::ptrdiff_t>(runStart));
  return reports;
}

// Two boards reporting at their own uneven rates share one timeline: every row holds a frame of
// each, and each board's frames are its own reports in their order (the plug-in repeats a report
// over the frames it spans and passes over one that shares its frame with the next), never the
// other board's, never shifted. Each board paces its frames from its own start, so a board
// recorded alone starts at another moment of its reports and gives other frames: the board's
// own capture is what each column is held against.
TEST_F(Kymhost, TwoBoardsAtUnevenRatesShareOneTimelineAndKeepEachBoardsOwnFrames) {
  std::string capture = Path("capture.txt"), second = Path("capture-2.txt"), csv = Path("both.csv");
  setenv("PLANKSCALE_CLOCK", "virtual", 1);
  Outcome run = Run("radio\nboard paired yes\n  report-interval 16.667 ms uneven\n"
                    "  load sway 70 kg split 45/55 amplitude 15 mm period 2 s\n"
                    "board paired yes\n  report-interval 7 ms uneven\n  seed 9\n  load sway 60 kg amplitude 9 mm period 3 s\n",
                    {"--boards", "2", "--labels", "left,right", "--seconds", "4", "--csv", csv, "--capture", capture});
  unsetenv("PLANKSCALE_CLOCK");
  ASSERT_EQ(run.exitCode, kExitOk) << run.Both();
  std::vector<std::vector<std::string>> rows = CsvRows(ReadFile(csv));
  ASSERT_EQ(rows.size(), 400u);
  // The first board found is opened first and captured to the first file; it has the lower serial.
  const std::string captures[] = {capture, second};
  for (int board = 0; board < 2; ++board) {
    long startMicros = 0;
    std::vector<CapturedReport> reports = CapturedCorners(captures[board], startMicros);
    ASSERT_GT(reports.size(), 100u) << captures[board];
    size_t at = 0;  // the report the last row held
    for (size_t row = 0; row < rows.size(); ++row) {
      std::vector<std::string> corners(rows[row].begin() + 1 + board * kBoardCells,
                                       rows[row].begin() + 5 + board * kBoardCells);
      while (at < reports.size() && reports[at].corners != corners) ++at;
      ASSERT_LT(at, reports.size()) << "board " << board + 1 << ", row " << row << ": not its next report";
      // A report less than half a frame after the start makes no frame: the next one begins.
      if (row == 0) {
        for (size_t before = 0; before < at; ++before)
          EXPECT_LT(reports[before].micros - startMicros, 5'000) << "board " << board + 1 << " begins late";
      }
    }
  }
}

// kymhost starts recording about 2.6 s into world time (the plug-in's search listens that long).
// Events come at 5 s, into the run, and last: held buttons and flat batteries end the run
// whenever it starts.
constexpr char kEventsAt[] = "5 s";

TEST_F(Kymhost, TheBoardsButtonEndsTheRun) {
  Outcome run = Run(std::string("radio\nboard paired yes\n  load sway 70 kg\n  at ") + kEventsAt + " button down\n",
                    {"--seconds", "30"});
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitOk) << run.Both();
  EXPECT_NE(run.out.find("The run was stopped: Sampling stopped by user.\n"), std::string::npos) << run.Both();
  EXPECT_GT(RecordedFrames(run), 0) << run.Both();
  EXPECT_LT(RecordedFrames(run), 3000) << run.Both();
}

TEST_F(Kymhost, FailingBatteriesEndTheRunWithTheBatteryMessage) {
  Outcome run = Run(std::string("radio\nboard paired yes\n  load still 70 kg\n  at ") + kEventsAt + " batteries fail\n",
                    {"--seconds", "30"});
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitBatteries) << run.Both();
  EXPECT_NE(run.out.find("The run was stopped: Sampling stopped because of weak or missing batteries.\n"),
            std::string::npos)
      << run.Both();
  EXPECT_GT(RecordedFrames(run), 0) << run.Both();
}

TEST_F(Kymhost, ABoardSwitchedOffIsReportedAsDisconnected) {
  Outcome run = Run(std::string("radio\nboard paired yes\n  load still 70 kg\n  at ") + kEventsAt + " power off\n",
                    {"--seconds", "30"});
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitDisconnected) << run.Both();
  size_t stopped = run.out.find("The run was stopped: The host timed out waiting for a response from the device.\n");
  EXPECT_NE(stopped, std::string::npos) << run.Both();
  EXPECT_NE(run.out.find("The board was disconnected", stopped), std::string::npos) << run.Both();
  EXPECT_GT(RecordedFrames(run), 0) << run.Both();
  EXPECT_NE(run.out.find("Board closed."), std::string::npos) << run.Both();
}

// One of two boards switched off mid-run: kymhost names it with the plug-in's own message and
// code, keeps every frame, ends the run for both and closes them. Its cells are empty after its
// last frame, never before, and the other board's are never empty.
TEST_F(Kymhost, ABoardLostAmongTwoIsNamedAndEndsTheRunForBoth) {
  std::string csv = Path("run.csv"), summary = Path("run.json");
  setenv("PLANKSCALE_CLOCK", "virtual", 1);
  Outcome run = Run("radio\nboard paired yes\n  load still 40 kg\nboard paired yes\n  report-interval 9 ms uneven\n"
                    "  load still 30 kg\n  at 9 s power off\n",
                    {"--boards", "2", "--labels", "left,right", "--seconds", "30", "--csv", csv, "--summary", summary});
  unsetenv("PLANKSCALE_CLOCK");
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitDisconnected) << run.Both();
  const std::string board = "Board 2, right (0017ab3c4d5f): ";
  EXPECT_NE(run.out.find(board + "The run was stopped: The host timed out waiting for a response from the device.\n"),
            std::string::npos)
      << run.Both();
  EXPECT_NE(run.out.find(board + "The board was disconnected: The Nintendo RVL-WBC-01 has disconnected from your "
                                 "computer. Check the batteries, or bring it closer. (Error $C000009D)\n"),
            std::string::npos)
      << run.Both();
  EXPECT_NE(run.out.find("Boards closed."), std::string::npos) << run.Both();

  std::vector<std::vector<std::string>> rows = CsvRows(ReadFile(csv));
  ASSERT_GT(rows.size(), 100u) << run.Both();
  EXPECT_EQ(static_cast<long>(rows.size()), RecordedFrames(run));
  size_t lastOfTheLost = 0;
  for (size_t row = 0; row < rows.size(); ++row) {
    ASSERT_FALSE(rows[row][1].empty()) << "board 1, row " << row;
    bool present = !rows[row][1 + kBoardCells].empty();
    if (present) {
      ASSERT_EQ(lastOfTheLost, row) << "board 2 has a frame in row " << row << " after an empty cell";
      lastOfTheLost = row + 1;
    }
  }
  EXPECT_GT(lastOfTheLost, 100u);
  EXPECT_LT(lastOfTheLost, rows.size()) << "board 1 went on until the run ended: its rows after board 2's last are empty there";
  std::string json = ReadFile(summary);
  EXPECT_NE(json.find("\"missing_frames\": " + std::to_string(rows.size() - lastOfTheLost)), std::string::npos) << json;
}

// A press of each board's button while kymhost waits numbers the boards in the labels' order:
// the board with the higher serial number, pressed first, becomes board 1.
TEST_F(Kymhost, ThePressOfEachBoardsButtonTellsTheBoardsApart) {
  setenv("PLANKSCALE_CLOCK", "virtual", 1);
  Outcome run = Run("radio\nboard paired yes\n  load still 40 kg\nboard paired yes\n  load still 30 kg\n  at 8 s button press\n",
                    {"--boards", "2", "--labels", "left,right", "--identify", "--seconds", "1"});
  unsetenv("PLANKSCALE_CLOCK");
  ASSERT_EQ(run.exitCode, kExitOk) << run.Both();
  EXPECT_NE(run.out.find("Press the button of the board that is to be board 1 'left'.\n"), std::string::npos) << run.Both();
  EXPECT_NE(run.out.find("Board 1, left (0017ab3c4d5f): "), std::string::npos) << run.Both();
  EXPECT_NE(run.out.find("Board 2, right (0017ab3c4d5e): "), std::string::npos) << run.Both();
  EXPECT_NE(run.out.find("Recorded 100 frames"), std::string::npos) << run.Both();
}

TEST_F(Kymhost, CtrlCEndsTheRunAndClosesTheBoard) {
  Outcome run = Run("radio\nboard paired yes\n  load still 70 kg\n", {}, std::chrono::milliseconds(1000));
  ASSERT_TRUE(run.finished) << run.Both();
  EXPECT_EQ(run.exitCode, kExitOk) << run.Both();
  size_t interrupted = run.out.find("Interrupted.\n");
  EXPECT_NE(interrupted, std::string::npos) << run.Both();
  EXPECT_GT(RecordedFrames(run), 0) << run.Both();
  EXPECT_NE(run.out.find("Board closed.", interrupted), std::string::npos) << run.Both();
}

}  // namespace
