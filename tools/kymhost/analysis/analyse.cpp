#include "analysis/analyse.h"

#include "files/fixed_format.h"
#include "files/recorded_trial.h"
#include "analysis/recording.h"
#include "analysis/romberg.h"
#include "analysis/run_report.h"

#include <cstdio>
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

// Reads a recording and measures it as kymhost measures a live one; false, having said why,
// when it cannot.
bool AnalyseFile(const std::string& path, const Options& options, Analysis& analysis) {
  recording::Trial trial;
  RecordedTrial recorded;
  std::string error;
  if (!recording::ReadTrial(path, options.axes, trial, error) || !FramesOfTrial(trial, path, recorded, error)) {
    std::fprintf(stderr, "kymhost: %s\n", error.c_str());
    return false;
  }
  Recording recording(recorded.periodSeconds);
  for (size_t i = 0; i < recorded.frames.size(); ++i) recording.Add(recorded.frames[i], recorded.markers[i]);
  std::printf("Analysing %s: %ld frames (%s s), one every %s ms.\n", path.c_str(), recording.Frames(),
              Fixed(recording.Seconds(), kSecondsDecimals).c_str(),
              Short(recorded.periodSeconds * kMillisecondsPerSecond).c_str());
  if (!AnalyseRecording(recording, options, options.label.empty() ? recorded.label : options.label, analysis, error)) {
    std::fprintf(stderr, "kymhost: %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

}  // namespace

int Analyse(const Options& options) {
  bool several = options.files.size() > 1;
  bool unreadable = false, unwritten = false;
  Analysis analyses[2];  // for --romberg: eyes open, eyes closed
  for (size_t i = 0; i < options.files.size(); ++i) {
    const std::string& path = options.files[i];
    Analysis analysis;
    if (i > 0 && !options.romberg) std::printf("\n");
    if (!AnalyseFile(path, options, analysis)) {
      unreadable = true;
      continue;
    }
    std::string plot = OutputFor(options.plot, path, several);
    if (options.romberg) {
      analyses[i] = analysis;
      unwritten = !WriteAnalysis(analysis, plot, "") || unwritten;
    } else {
      PrintAnalysis(analysis);
      unwritten = !WriteAnalysis(analysis, plot, OutputFor(options.summary, path, several)) || unwritten;
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
