#include "files/recording_file.h"

#include "recording/text_file.h"

#include <cstdio>

namespace kymhost {

namespace {

bool ReadTable(const std::string& path, const ReadSettings& settings, TimedTrial& trial, std::string& error) {
  recording::TrialInfo info;
  TimedTrialSink sink(trial);
  if (!recording::ReadTrialSamples(path, settings.axes, info, sink, error)) return false;
  trial.label = LabelOf(info.comments);
  return true;
}

}  // namespace

bool ReadRecordingFile(const std::string& path, const ReadSettings& settings, TimedTrial& trial, std::string& error) {
  trial = TimedTrial{};
  return ReadTable(path, settings, trial, error);
}

}  // namespace kymhost
