#include "analysis/analyse.h"

#include "analysis/boards_report.h"
#include "files/boards_trial.h"
#include "files/fixed_format.h"
#include "files/lab_files.h"
#include "files/recorded_trial.h"
#include "files/recording_file.h"
#include "measures/swarii.h"
#include "analysis/recording.h"
#include "analysis/romberg.h"
#include "analysis/run_report.h"
#include "recording/text_file.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kymhost {

namespace {

constexpr double kMillisecondsPerSecond = 1000;

// With several recordings, each one's output file carries its name: out.svg for a.csv becomes
// out-a.svg.
std::string OutputFor(const std::string& output, const std::string& input, bool several) {
  if (!several || output.empty()) return output;
  size_t slash = input.find_last_of("/\\");
  std::string stem = input.substr(slash == std::string::npos ? 0 : slash + 1);
  stem = stem.substr(0, stem.rfind('.'));
  size_t dot = output.rfind('.');
  size_t outputSlash = output.find_last_of("/\\");
  if (dot == std::string::npos || (outputSlash != std::string::npos && dot < outputSlash)) dot = output.size();
  return output.substr(0, dot) + "-" + stem + output.substr(dot);
}

// Rows handed to the lab files the options ask for, as a run hands them: a message for each
// marker, then its row.
class Conversion {
 public:
  Conversion(std::vector<std::unique_ptr<RunListener>> files, const RunStart& start) : files_(std::move(files)) {
    for (const std::unique_ptr<RunListener>& file : files_) started_ = file->Start(start) && started_;
  }
  void Marker(double seconds, int number) {
    for (const std::unique_ptr<RunListener>& file : files_)
      file->Message(seconds, "Marker " + std::to_string(number) + " at " + Fixed(seconds, kSecondsDecimals) + " s");
  }
  void Row(FrameRow row) {
    row.hostSeconds = row.seconds;  // no host clock saw it: time from the file's start
    for (const std::unique_ptr<RunListener>& file : files_) file->Frame(row);
  }
  // False when a file could not be written.
  bool Finish() {
    bool finished = started_;
    for (const std::unique_ptr<RunListener>& file : files_) finished = file->Finish() && finished;
    return finished;
  }

 private:
  std::vector<std::unique_ptr<RunListener>> files_;
  bool started_ = true;
};

std::vector<std::unique_ptr<RunListener>> LabFilesFor(const Options& options, const std::string& path, bool several) {
  return LabFiles(OutputFor(options.bdf, path, several), OutputFor(options.edf, path, several),
                  OutputFor(options.xdf, path, several));
}

// The frames converted into the lab files the options ask for; false when one could not be
// written.
bool Convert(const RecordedTrial& recorded, const std::string& label, std::vector<std::unique_ptr<RunListener>> files) {
  if (files.empty()) return true;
  RunStart start;
  start.periodSeconds = recorded.periodSeconds;
  start.label = label;
  start.boards.push_back({});
  Conversion conversion(std::move(files), start);
  auto marker = recorded.markers.begin();
  for (size_t i = 0; i < recorded.frames.size(); ++i) {
    FrameRow row;
    row.number = static_cast<long>(i);
    row.seconds = static_cast<double>(i) * recorded.periodSeconds;
    row.board[0] = {true, recorded.frames[i]};
    for (; marker != recorded.markers.end() && marker->index == i; ++marker) {
      row.marker = marker->number;
      conversion.Marker(row.seconds, marker->number);
    }
    conversion.Row(row);
  }
  return conversion.Finish();
}

// The rows of kymhost's CSV of several boards, converted likewise.
bool Convert(const BoardsTrial& trial, const std::string& label, double gapMm,
             std::vector<std::unique_ptr<RunListener>> files) {
  if (files.empty()) return true;
  RunStart start;
  start.periodSeconds = trial.periodSeconds;
  start.label = label;
  start.boards = trial.boards;
  start.gapMm = gapMm;
  start.startSpreadMs = std::isnan(trial.startSpreadMs) ? 0 : trial.startSpreadMs;
  Conversion conversion(std::move(files), start);
  for (const FrameRow& row : trial.rows) {
    if (row.marker > 0) conversion.Marker(row.seconds, row.marker);
    conversion.Row(row);
  }
  return conversion.Finish();
}

// kymhost's own CSV of several boards: told by its header, which lies within the file's start.
bool IsBoardsCsvFile(const std::string& path) {
  constexpr size_t kHeaderRoom = 64 * 1024;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::string start(kHeaderRoom, '\0');
  start.resize(std::fread(start.data(), 1, start.size(), file));
  std::fclose(file);
  return IsBoardsCsv(start);
}

// A recording of several boards, read, converted and measured; false, having said why, when it
// cannot be.
bool AnalyseBoardsFile(const std::string& path, const Options& options, bool several, BoardsAnalysis& analysis,
                       bool& unwritten) {
  std::string text, error;
  BoardsTrial trial;
  if (!recording::ReadTextFile(path, text, error) || !ParseBoardsTrial(text, path, trial, error)) {
    std::fprintf(stderr, "kymhost: %s\n", error.c_str());
    return false;
  }
  text = std::string();
  const recording::Axes& axes = options.axes;
  if (axes.swap || axes.flipX || axes.flipY)
    std::fprintf(stderr, "kymhost: %s is kymhost's own recording of boards side by side: --axes leaves it as it is\n",
                 path.c_str());
  if (options.resampleHz > 0)
    std::fprintf(stderr, "kymhost: %s is kymhost's own recording of boards, evenly spaced: --resample leaves it as it is\n",
                 path.c_str());
  double gapMm = options.layoutGiven ? options.gapMm : std::isnan(trial.gapMm) ? 0 : trial.gapMm;
  std::string label = options.label.empty() ? trial.label : options.label;
  unwritten = !Convert(trial, label, gapMm, LabFilesFor(options, path, several)) || unwritten;
  BoardsRecording recording(trial.periodSeconds, trial.boards, gapMm);
  recording.startSpreadMs = trial.startSpreadMs;
  for (const FrameRow& row : trial.rows) recording.Add(row);
  trial.rows = std::vector<FrameRow>();
  std::printf("Analysing %s: %ld frames of %d boards (%s s), one every %s ms.\n", path.c_str(), recording.Frames(),
              recording.Boards(), Fixed(recording.Seconds(), kSecondsDecimals).c_str(),
              Short(trial.periodSeconds * kMillisecondsPerSecond).c_str());
  if (!AnalyseBoards(recording, options, label, analysis, error)) {
    std::fprintf(stderr, "kymhost: %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

// The frames measured as a live recording's are; false, with error, when the options name a
// marker they do not have. The frames are let go on the way.
bool MeasureFrames(RecordedTrial& recorded, const Options& options, const std::string& label, Analysis& analysis,
                   std::string& error) {
  Recording recording(recorded.periodSeconds);
  recording.Reserve(recorded.frames.size());
  auto marker = recorded.markers.begin();
  for (size_t i = 0; i < recorded.frames.size(); ++i) {
    int number = 0;
    for (; marker != recorded.markers.end() && marker->index == i; ++marker) number = marker->number;
    recording.Add(recorded.frames[i], number);
  }
  recorded.frames = std::vector<FrameKg>();
  if (!AnalyseRecording(recording, options, label, analysis, error)) return false;
  analysis.notes.resampledHz = recorded.resampled.rateHz;
  analysis.notes.resampleWindowSeconds = recorded.resampled.windowSeconds;
  return true;
}

// Reads a recording and measures it as kymhost measures a live one; false, having said why,
// when it cannot. unwritten is set when a file it converts to could not be written. A capture
// also gets the measures of its frames as the plug-in paced them, in paced.
bool AnalyseFile(const std::string& path, const Options& options, bool several, Analysis& analysis,
                 std::unique_ptr<Analysis>& paced, bool& unwritten) {
  RecordedTrial recorded, pacedFrames;
  std::string error;
  {
    TimedTrial timed;  // gone before the measures, which need memory of their own
    ReadSettings settings{options.axes, options.plate, options.rateHz, options.plateDepthMm};
    Resampling resampling{options.resampleHz, options.windowSeconds > 0 ? options.windowSeconds
                                                                        : kDefaultSwariiWindowSeconds};
    if (!(options.resampleHz > 0)) resampling = Resampling{};
    if (!ReadRecordingFile(path, settings, timed, error) || !EvenFrames(timed, path, resampling, recorded, error)) {
      std::fprintf(stderr, "kymhost: %s\n", error.c_str());
      return false;
    }
    if (recorded.resampled.rateHz > 0)
      std::printf("Resampled %s: %s uneven samples to %s frames a second (SWARII, window %s s).\n", path.c_str(),
                  std::to_string(timed.seconds.size()).c_str(), Short(recorded.resampled.rateHz).c_str(),
                  Short(recorded.resampled.windowSeconds).c_str());
    // The paced frames go through the same resampling, so that the two differ by their times alone.
    TimedTrial stream;
    for (size_t i = 0; i < timed.paced.size(); ++i)
      stream.Add(static_cast<double>(i) * kFramePeriodSeconds, timed.paced[i], 0, 0);
    stream.lines.clear();
    if (stream.frames.size() > 1 && !EvenFrames(stream, path, resampling, pacedFrames, error)) pacedFrames = RecordedTrial{};
  }
  std::string label = options.label.empty() ? recorded.label : options.label;
  unwritten = !Convert(recorded, label, LabFilesFor(options, path, several)) || unwritten;
  long frames = static_cast<long>(recorded.frames.size());
  std::printf("Analysing %s: %ld frames (%s s), one every %s ms.\n", path.c_str(), frames,
              Fixed(static_cast<double>(frames) * recorded.periodSeconds, kSecondsDecimals).c_str(),
              Short(recorded.periodSeconds * kMillisecondsPerSecond).c_str());
  if (!MeasureFrames(recorded, options, label, analysis, error)) {
    std::fprintf(stderr, "kymhost: %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  if (pacedFrames.frames.size() > 1) {
    paced = std::make_unique<Analysis>();
    if (!MeasureFrames(pacedFrames, options, label, *paced, error)) paced.reset();
  }
  return true;
}

}  // namespace

int Analyse(const Options& options) {
  bool several = options.files.size() > 1;
  bool unreadable = false, unwritten = false;
  Analysis analyses[2];  // for --romberg: eyes open, eyes closed, of the person
  for (size_t i = 0; i < options.files.size(); ++i) {
    const std::string& path = options.files[i];
    BoardsAnalysis analysis;
    std::unique_ptr<Analysis> paced;
    if (i > 0 && !options.romberg) std::printf("\n");
    bool read = IsBoardsCsvFile(path) ? AnalyseBoardsFile(path, options, several, analysis, unwritten)
                                      : AnalyseFile(path, options, several, analysis.whole, paced, unwritten);
    if (!read) {
      unreadable = true;
      continue;
    }
    std::string plot = OutputFor(options.plot, path, several);
    if (options.romberg) {
      analyses[i] = analysis.whole;
      unwritten = !WriteBoardsAnalysis(analysis, plot, "") || unwritten;
    } else {
      PrintBoardsAnalysis(analysis);
      std::string summary = OutputFor(options.summary, path, several);
      unwritten = !WriteBoardsAnalysis(analysis, plot, summary) || unwritten;
      if (paced) {
        std::printf("\nThe same reports as the plug-in paced them, each repeated for the 10 ms frames it stood for:\n");
        PrintAnalysis(*paced);
        unwritten = !WriteAnalysis(*paced, "", OutputFor(summary, "paced", true)) || unwritten;
      }
    }
  }
  if (options.romberg && !unreadable) {
    std::printf("\n");
    unwritten = !ReportRomberg(analyses[0], analyses[1], options.files[0], options.files[1], options.summary) || unwritten;
  }
  if (unreadable) return kExitInputFailed;
  return unwritten ? kExitOutputFailed : kExitOk;
}

}  // namespace kymhost
