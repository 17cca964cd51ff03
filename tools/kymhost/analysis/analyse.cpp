#include "analysis/analyse.h"

#include "analysis/boards_report.h"
#include "files/boards_trial.h"
#include "files/fixed_format.h"
#include "files/recorded_trial.h"
#include "analysis/romberg.h"
#include "recording/text_file.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

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

// The recording of a file: kymhost's CSV of several boards, or any one recording, as one board.
bool ReadRecording(const std::string& path, const Options& options, std::unique_ptr<BoardsRecording>& recording,
                   std::string& label, std::string& error) {
  std::string text;
  if (!recording::ReadTextFile(path, text, error)) return false;
  if (IsBoardsCsv(text)) {
    const recording::Axes& axes = options.axes;
    if (axes.swap || axes.flipX || axes.flipY)
      std::fprintf(stderr, "kymhost: %s is kymhost's own recording of boards side by side: --axes leaves it as it is\n",
                   path.c_str());
    BoardsTrial trial;
    if (!ParseBoardsTrial(text, path, trial, error)) return false;
    double gapMm = options.layoutGiven ? options.gapMm : std::isnan(trial.gapMm) ? 0 : trial.gapMm;
    recording = std::make_unique<BoardsRecording>(trial.periodSeconds, trial.boards, gapMm);
    recording->startSpreadMs = trial.startSpreadMs;
    for (const FrameRow& row : trial.rows) recording->Add(row);
    label = trial.label;
    return true;
  }
  recording::Trial trial;
  RecordedTrial recorded;
  if (!recording::ParseTrial(text, path, options.axes, trial, error) || !FramesOfTrial(trial, path, recorded, error))
    return false;
  recording = std::make_unique<BoardsRecording>(recorded.periodSeconds, std::vector<BoardIdentity>(1), 0);
  for (size_t i = 0; i < recorded.frames.size(); ++i) {
    FrameRow row;
    row.board[0] = {true, recorded.frames[i]};
    row.marker = recorded.markers[i];
    recording->Add(row);
  }
  label = recorded.label;
  return true;
}

// Reads a recording and measures it as kymhost measures a live one; false, having said why,
// when it cannot.
bool AnalyseFile(const std::string& path, const Options& options, BoardsAnalysis& analysis) {
  std::unique_ptr<BoardsRecording> recording;
  std::string label, error;
  if (!ReadRecording(path, options, recording, label, error)) {
    std::fprintf(stderr, "kymhost: %s\n", error.c_str());
    return false;
  }
  double period = recording->Whole().Period();
  std::string boards = recording->Boards() > 1 ? " of " + std::to_string(recording->Boards()) + " boards" : "";
  std::printf("Analysing %s: %ld frames%s (%s s), one every %s ms.\n", path.c_str(), recording->Frames(), boards.c_str(),
              Fixed(recording->Seconds(), kSecondsDecimals).c_str(), Short(period * kMillisecondsPerSecond).c_str());
  if (!AnalyseBoards(*recording, options, options.label.empty() ? label : options.label, analysis, error)) {
    std::fprintf(stderr, "kymhost: %s: %s\n", path.c_str(), error.c_str());
    return false;
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
    if (i > 0 && !options.romberg) std::printf("\n");
    if (!AnalyseFile(path, options, analysis)) {
      unreadable = true;
      continue;
    }
    std::string plot = OutputFor(options.plot, path, several);
    if (options.romberg) {
      analyses[i] = analysis.whole;
      unwritten = !WriteBoardsAnalysis(analysis, plot, "") || unwritten;
    } else {
      PrintBoardsAnalysis(analysis);
      unwritten = !WriteBoardsAnalysis(analysis, plot, OutputFor(options.summary, path, several)) || unwritten;
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
