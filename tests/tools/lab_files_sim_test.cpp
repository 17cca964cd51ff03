// The files labs open, as kymhost writes them in a run and analyse reads them back, checked with
// readers the project did not write: EDFlib and biosig for BDF+ and EDF+, libxdf for XDF. A
// reader that is not installed fails its part, saying so (scripts/test.sh installs them).
#include "files/edf_writer.h"
#include "files/recording_file.h"

#include <gtest/gtest.h>

#if PLANKSCALE_HAVE_EDFLIB
#include <edflib.h>
#endif
#if PLANKSCALE_HAVE_LIBXDF
#include <xdf.h>
#endif

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PLANKSCALE_TSAN 1
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif
#endif

namespace {

// libxdf 0.99.8 takes a chunk's XML with strlen, past the chunk's end (XDF's chunks carry their
// length and no terminating zero): ThreadSanitizer is not to watch it read. AddressSanitizer's
// suppressions (outside_readers.supp) name it too.
class OutsideReaderFaults {
 public:
#if PLANKSCALE_TSAN
  OutsideReaderFaults() { __tsan_ignore_thread_begin(); }
  ~OutsideReaderFaults() { __tsan_ignore_thread_end(); }
#else
  OutsideReaderFaults() {}
#endif
  OutsideReaderFaults(const OutsideReaderFaults&) = delete;
  OutsideReaderFaults& operator=(const OutsideReaderFaults&) = delete;
};

constexpr int kFrames = 300;  // three seconds
constexpr int kSignals = 7;
const char* const kLabels[kSignals] = {"top left", "bottom left", "top right", "bottom right", "total", "CoP x", "CoP y"};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A command's exit code, bounded in time; its output in out.
int Shell(const std::string& command, const std::string& out) {
  int status = std::system(("timeout 120 " + command + " >" + out + " 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LabFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = ::testing::TempDir() + "labfiles_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
              "_" + std::to_string(getpid()) + "_";
  }
  void TearDown() override {
    for (const std::string& path : files_) std::remove(path.c_str());
  }
  std::string Path(const std::string& name) {
    files_.push_back(prefix_ + name);
    return files_.back();
  }
  // kymhost with the arguments, the world given, and input lines typed that long into the run.
  int Kymhost(const std::string& args, const std::string& world = "", const std::string& typed = "") {
    std::string scenario = Path("world.scenario");
    std::ofstream(scenario) << world;
    std::string command = "PLANKSCALE_SIM=" + scenario + " " + KYMHOST_PATH + " " + args;
    if (!typed.empty()) command = "(" + typed + ") | " + command;
    output_ = Path("output.txt");
    int code = Shell("sh -c '" + command + "'", output_);
    said_ = ReadFile(output_);
    return code;
  }
  std::string said_;
  std::string prefix_;
  std::vector<std::string> files_;

 private:
  std::string output_;
};

struct CsvRow {
  double corners[4];
};

std::vector<CsvRow> CsvRows(const std::string& text) {
  std::vector<CsvRow> rows;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    CsvRow row{};
    double time = 0;
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf", &time, &row.corners[0], &row.corners[1], &row.corners[2],
                    &row.corners[3]) == 5)
      rows.push_back(row);
  }
  return rows;
}

std::string JsonValue(const std::string& json, const std::string& key) {
  size_t at = json.find("\"" + key + "\": ");
  if (at == std::string::npos) return {};
  at += key.size() + 4;
  return json.substr(at, json.find_first_of(",\n", at) - at);
}

TEST_F(LabFiles, OutsideReadersReadBackWhatARunWroteAndAnalyseMeasuresItAlike) {
  std::string csv = Path("run.csv"), bdf = Path("run.bdf"), edfFile = Path("run.edf"), xdfFile = Path("run.xdf");
  std::string live = Path("live.json");
  std::time_t before = std::time(nullptr);
  ASSERT_EQ(Kymhost("--seconds 3 --label \"eyes open\" --csv " + csv + " --bdf " + bdf + " --edf " + edfFile + " --xdf " +
                        xdfFile + " --summary " + live,
                    "radio\nboard paired yes\n  load sway 70 kg\n",
                    "while ! grep -q Recording " + Path("output.txt") + " 2>/dev/null; do sleep 0.1; done; sleep 1; echo"),
            0)
      << said_;
  std::vector<CsvRow> rows = CsvRows(ReadFile(csv));
  ASSERT_EQ(rows.size(), static_cast<size_t>(kFrames)) << said_;
  size_t markerAt = said_.find("Marker 1 at ");
  ASSERT_NE(markerAt, std::string::npos) << said_;
  std::string marker = said_.substr(markerAt, said_.find('\n', markerAt) - markerAt);
  double markerSeconds = std::atof(marker.c_str() + 12);

#if PLANKSCALE_HAVE_EDFLIB
  std::tm started{};
  localtime_r(&before, &started);
  const struct {
    const std::string& path;
    int type;
    double resolution;  // kg: 150 kg over 24 or 16 bits, and the CSV's gram
  } files[] = {{bdf, EDFLIB_FILETYPE_BDFPLUS, 0.0006}, {edfFile, EDFLIB_FILETYPE_EDFPLUS, 0.0018}};
  for (const auto& f : files) {
    edf_hdr_struct header{};
    ASSERT_EQ(edfopen_file_readonly(f.path.c_str(), &header, EDFLIB_READ_ALL_ANNOTATIONS), 0) << f.path << " " << header.filetype;
    EXPECT_EQ(header.filetype, f.type);
    ASSERT_EQ(header.edfsignals, kSignals);
    EXPECT_EQ(header.datarecords_in_file, 3);
    EXPECT_EQ(header.datarecord_duration, EDFLIB_TIME_DIMENSION);
    EXPECT_EQ(header.startdate_day, started.tm_mday);
    EXPECT_EQ(header.startdate_year, started.tm_year + 1900);
    EXPECT_EQ(std::string(header.recording_additional).find("eyes_open"), 0u) << header.recording_additional;
    for (int s = 0; s < kSignals; ++s) {
      EXPECT_EQ(std::string(header.signalparam[s].label).substr(0, std::string(kLabels[s]).size()), kLabels[s]);
      EXPECT_EQ(header.signalparam[s].smp_in_datarecord, 100);
      EXPECT_EQ(std::string(header.signalparam[s].physdimension).substr(0, 2), s < 5 ? "kg" : "mm");
    }
    for (int c = 0; c < 4; ++c) {
      std::vector<double> samples(kFrames);
      ASSERT_EQ(edfread_physical_samples(header.handle, c, kFrames, samples.data()), kFrames);
      for (int i = 0; i < kFrames; ++i) ASSERT_NEAR(samples[i], rows[i].corners[c], f.resolution) << f.path << " " << c << " " << i;
    }
    bool found = false;
    for (long long a = 0; a < header.annotations_in_file; ++a) {
      edf_annotation_struct annotation{};
      edf_get_annotation(header.handle, static_cast<int>(a), &annotation);
      if (marker == annotation.annotation) {
        found = true;
        EXPECT_NEAR(static_cast<double>(annotation.onset) / EDFLIB_TIME_DIMENSION, markerSeconds, 1e-6);
      }
    }
    EXPECT_TRUE(found) << f.path << ": no annotation '" << marker << "'";
    edfclose_file(header.handle);
  }
#else
  ADD_FAILURE() << "EDFlib is not installed (libedf-dev): the BDF+ and EDF+ files were not read back";
#endif

  std::string biosig = Path("biosig.txt");
  if (Shell("save2gdf -JSON " + bdf, biosig) == 127) {
    ADD_FAILURE() << "biosig's save2gdf is not installed (biosig-tools): the BDF+ file was not read back";
  } else {
    std::string json = ReadFile(biosig);
    EXPECT_NE(json.find("\"NumberOfChannels\"\t: 8"), std::string::npos) << json;
    EXPECT_NE(json.find("\"Samplingrate\"\t: 100.000000"), std::string::npos) << json;
    EXPECT_NE(json.find("\"Label\"\t: \"CoP y\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"NumberOfSamples\"\t: 300"), std::string::npos) << json;
  }

#if PLANKSCALE_HAVE_LIBXDF
  Xdf xdf;
  int loaded = -1;
  {
    OutsideReaderFaults ignored;
    loaded = xdf.load_xdf(xdfFile);
  }
  ASSERT_EQ(loaded, 0);
  ASSERT_EQ(xdf.streams.size(), 2u);
  const Xdf::Stream& board = xdf.streams[0];
  EXPECT_EQ(board.info.nominal_srate, 100);
  EXPECT_EQ(board.info.channel_format, "float32");
  ASSERT_EQ(board.info.channels.size(), static_cast<size_t>(kSignals));
  for (int s = 0; s < kSignals; ++s) {
    EXPECT_EQ(board.info.channels[static_cast<size_t>(s)].at("label"), kLabels[s]);
    EXPECT_EQ(board.info.channels[static_cast<size_t>(s)].at("unit"), s < 5 ? "kg" : "mm");
  }
  ASSERT_EQ(board.time_stamps.size(), static_cast<size_t>(kFrames));
  EXPECT_EQ(board.info.sample_count, kFrames);
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_NEAR(board.time_stamps[i] - board.time_stamps[0], i * 0.01, 1e-9);
    for (int c = 0; c < 4; ++c) ASSERT_NEAR(board.time_series[static_cast<size_t>(c)][static_cast<size_t>(i)], rows[i].corners[c], 1e-5);
  }
  EXPECT_EQ(board.info.first_timestamp, board.time_stamps.front());
  EXPECT_EQ(board.info.last_timestamp, board.time_stamps.back());
  ASSERT_EQ(xdf.eventMap.size(), 1u);
  EXPECT_EQ(xdf.eventMap[0].first.first, marker);
  EXPECT_NEAR(xdf.eventMap[0].first.second - board.time_stamps[0], markerSeconds, 1e-6);
#else
  ADD_FAILURE() << "libxdf is not installed (libxdf-dev): the XDF file was not read back";
#endif

  // analyse measures each file as the run measured itself: the 24-bit signals and the floats to
  // their resolution, the label and the marker as written.
  std::string liveJson = ReadFile(live);
  for (const std::string& file : {bdf, xdfFile}) {
    std::string again = Path("again.json");
    ASSERT_EQ(Kymhost("analyse " + file + " --summary " + again), 0) << said_;
    std::string json = ReadFile(again);
    for (const char* key : {"frames", "label", "markers_s"}) EXPECT_EQ(JsonValue(json, key), JsonValue(liveJson, key)) << file << " " << key;
    for (const char* key : {"cop_rms_x_mm", "cop_path_mm", "ellipse95_area_mm2", "mean_freq_x_hz"})
      EXPECT_NEAR(std::atof(JsonValue(json, key).c_str()), std::atof(JsonValue(liveJson, key).c_str()), 0.002) << file << " " << key;
  }
}

TEST_F(LabFiles, UnevenSamplesAreResampledOnlyWhenAsked) {
  std::string uneven = Path("uneven.csv"), summary = Path("uneven.json");
  std::ofstream file(uneven);
  file << "time_ms,total_kg,cop_x_mm,cop_y_mm\n";
  // A board's own timing: 60 to 100 reports a second, unevenly.
  for (int i = 0, ms = 0; i < 600; ++i, ms += 8 + (i * 7) % 9)
    file << ms << ",70," << 10 * std::sin(ms / 1000.0) << ",0\n";
  file.close();
  EXPECT_EQ(Kymhost("analyse " + uneven), 8);
  EXPECT_NE(said_.find("analysis needs samples evenly spaced (within 1 %), or --resample HZ to make them so"),
            std::string::npos)
      << said_;
  ASSERT_EQ(Kymhost("analyse " + uneven + " --resample 100 --summary " + summary), 0) << said_;
  EXPECT_NE(said_.find("Resampled: SWARII at 100 Hz, window 0.25 s"), std::string::npos) << said_;
  std::string json = ReadFile(summary);
  EXPECT_EQ(JsonValue(json, "resampled_hz"), "100");
  EXPECT_EQ(JsonValue(json, "resample_window_s"), "0.25");
}

// A capture's reports at their own arrival times, through its calibration, and the same reports
// as the plug-in paced them: resampled alike, the paced ones give the run's own CSV's measures,
// to a frame at either end (the capture's times are whole microseconds from the open, the
// plug-in's its counter from the run's start).
TEST_F(LabFiles, ACaptureIsMeasuredAtItsReportsTimesBesideThePacedStream) {
  std::string capture = Path("capture.txt"), csv = Path("run.csv"), fromCsv = Path("csv.json"), times = Path("times.json");
  setenv("PLANKSCALE_CLOCK", "virtual", 1);
  int recorded = Kymhost("--seconds 10 --csv " + csv + " --capture " + capture,
                         "radio\nboard paired yes\n  report-interval 16.667 ms uneven\n"
                         "  load sway 70 kg split 45/55 amplitude 15 mm period 2 s\n");
  unsetenv("PLANKSCALE_CLOCK");
  ASSERT_EQ(recorded, 0) << said_;
  EXPECT_EQ(Kymhost("analyse " + capture), 8);
  EXPECT_NE(said_.find("or --resample HZ to make them so"), std::string::npos) << said_;
  ASSERT_EQ(Kymhost("analyse " + capture + " --resample 100 --summary " + times), 0) << said_;
  EXPECT_NE(said_.find("The same reports as the plug-in paced them"), std::string::npos) << said_;
  std::string own = ReadFile(times), paced = ReadFile(prefix_ + "times-paced.json");
  files_.push_back(prefix_ + "times-paced.json");
  ASSERT_EQ(Kymhost("analyse " + csv + " --resample 100 --summary " + fromCsv), 0) << said_;
  std::string run = ReadFile(fromCsv);
  EXPECT_NEAR(std::atof(JsonValue(paced, "frames").c_str()), std::atof(JsonValue(run, "frames").c_str()), 2);
  for (const char* key : {"cop_mean_x_mm", "cop_rms_x_mm", "cop_path_mm", "mean_total_kg"}) {
    double expected = std::atof(JsonValue(run, key).c_str());
    EXPECT_NEAR(std::atof(JsonValue(paced, key).c_str()), expected, 0.005 * std::fabs(expected)) << key;
    EXPECT_NE(JsonValue(own, key), "null") << key;
  }
  EXPECT_EQ(JsonValue(own, "resampled_hz"), "100");
}

}  // namespace

// A board whose frames stop before the others' (lost, or ended first) has no value in those
// rows: its signals stand at the digital minimum, said in an annotation, and read back as no
// frames at all, never its last frame held.
TEST_F(LabFiles, ABoardsMissingFramesAreNoValuesInTheBdfNeverItsLastFrameHeld) {
  std::string bdf = Path("boards.bdf");
  constexpr int kRows = 150, kSecondBoardRows = 100;
  {
    kymhost::EdfWriter writer(bdf, kymhost::edf::kBdf);
    kymhost::RunStart start;
    start.periodSeconds = 0.01;
    start.boards.resize(2);
    ASSERT_TRUE(writer.Start(start));
    for (int i = 0; i < kRows; ++i) {
      kymhost::FrameRow row;
      row.number = i;
      row.seconds = i * 0.01;
      row.boards = 2;
      row.board[0] = {true, kymhost::FrameKg::Of(40, 5, 0)};
      if (i < kSecondBoardRows) row.board[1] = {true, kymhost::FrameKg::Of(30, -5, 0)};
      writer.Frame(row);
    }
    ASSERT_TRUE(writer.Finish());
  }
#if PLANKSCALE_HAVE_EDFLIB
  edf_hdr_struct header{};
  ASSERT_EQ(edfopen_file_readonly(bdf.c_str(), &header, EDFLIB_READ_ALL_ANNOTATIONS), 0);
  std::vector<int> samples(kRows);
  ASSERT_EQ(edfread_digital_samples(header.handle, kSignals, kRows, samples.data()), kRows);  // b2 top left
  EXPECT_GT(samples[kSecondBoardRows - 1], header.signalparam[kSignals].dig_min);
  for (int i = kSecondBoardRows; i < kRows; ++i) EXPECT_EQ(samples[i], header.signalparam[kSignals].dig_min) << i;
  bool said = false;
  for (long long a = 0; a < header.annotations_in_file; ++a) {
    edf_annotation_struct annotation{};
    edf_get_annotation(header.handle, static_cast<int>(a), &annotation);
    said = said || (std::string(annotation.annotation) == "Board 2: no frames" &&
                    annotation.onset == kSecondBoardRows * EDFLIB_TIME_DIMENSION / 100);
  }
  EXPECT_TRUE(said);
  edfclose_file(header.handle);
#else
  ADD_FAILURE() << "EDFlib (libedf-dev) is not installed: the BDF+ is not read back";
#endif
  kymhost::ReadSettings settings;
  settings.plate = 2;
  kymhost::TimedTrial trial;
  std::string error;
  ASSERT_TRUE(kymhost::ReadRecordingFile(bdf, settings, trial, error)) << error;
  ASSERT_EQ(trial.frames.size(), static_cast<size_t>(kSecondBoardRows));
  EXPECT_NEAR(trial.frames.back().Total(), 30, 0.001);
}
