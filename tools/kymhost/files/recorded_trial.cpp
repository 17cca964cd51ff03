#include "files/recorded_trial.h"

#include "files/fixed_format.h"
#include "measures/swarii.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kymhost {

namespace {

static_assert(recording::kCorners == kChannels, "the reader's corners are kymhost's channels, in their order");

std::string Seconds(double seconds) { return Short(seconds) + " s"; }

// The median step is the one the samples keep to; a gap or a jitter stands out against it.
double MedianStep(const std::vector<double>& seconds) {
  std::vector<double> steps(seconds.size() - 1);
  for (size_t i = 1; i < seconds.size(); ++i) steps[i - 1] = seconds[i] - seconds[i - 1];
  auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
  std::nth_element(steps.begin(), middle, steps.end());
  return *middle;
}

void Resample(const TimedTrial& timed, const Resampling& resampling, RecordedTrial& recorded) {
  EvenTimes times = EvenTimesOf(timed.seconds, resampling.rateHz);
  recorded.frames.assign(times.count, FrameKg{});
  std::vector<double> channel(timed.frames.size());
  for (int c = 0; c < kChannels; ++c) {
    for (size_t i = 0; i < timed.frames.size(); ++i) channel[i] = timed.frames[i].channel[c];
    std::vector<double> even = Swarii(timed.seconds, channel, resampling.rateHz, resampling.windowSeconds);
    for (size_t k = 0; k < times.count; ++k) recorded.frames[k].channel[c] = even[k];
  }
  recorded.periodSeconds = 1 / resampling.rateHz;
  recorded.resampled = resampling;
  // Each marker on the frame nearest its sample's time.
  for (const TrialMarker& marker : timed.markers) {
    double frame = std::round((timed.seconds[marker.index] - times.firstSeconds) * resampling.rateHz);
    size_t index = static_cast<size_t>(std::clamp(frame, 0.0, static_cast<double>(times.count - 1)));
    recorded.markers.push_back({marker.number, index});
  }
}

}  // namespace

void TimedTrial::Add(double at, const FrameKg& frame, long line, int marker) {
  if (marker > 0) markers.push_back({marker, seconds.size()});
  seconds.push_back(at);
  frames.push_back(frame);
  lines.push_back(line);
}

std::string TimedTrial::Where(const std::string& name, size_t i) const {
  if (i < lines.size()) return name + ":" + std::to_string(lines[i]);
  return name + ": sample " + std::to_string(i + 1);
}

void TimedTrialSink::Add(const recording::Sample& s) {
  FrameKg frame{};
  if (hasCorners_)
    std::copy(s.cornersKg, s.cornersKg + kChannels, frame.channel);
  else
    frame = FrameKg::Of(s.totalKg, s.copXmm, s.copYmm);
  trial_.Add(s.seconds, frame, s.line, s.marker);
}

std::string LabelOf(const std::vector<std::string>& comments) {
  for (const std::string& comment : comments) {
    if (comment.rfind(kLabelComment, 0) != 0) continue;
    size_t text = comment.find_first_not_of(' ', sizeof kLabelComment - 1);
    return text == std::string::npos ? "" : comment.substr(text);
  }
  return {};
}

bool EvenFrames(TimedTrial& timed, const std::string& name, const Resampling& resampling, RecordedTrial& recorded,
                std::string& error) {
  recorded = RecordedTrial{};
  recorded.label = timed.label;
  const std::vector<double>& seconds = timed.seconds;
  if (seconds.size() < 2) {
    error = name + ": one sample is not a recording to analyse";
    return false;
  }
  if (resampling.rateHz > 0) {
    timed.lines = std::vector<long>();  // no message needs them now: room for the resampled frames
    Resample(timed, resampling, recorded);
    return true;
  }
  double step = MedianStep(seconds);
  for (size_t i = 1; i < seconds.size(); ++i) {
    double gap = seconds[i] - seconds[i - 1];
    if (std::fabs(gap - step) > kEvenSpacingTolerance * step) {
      error = timed.Where(name, i) + ": the time " + Seconds(seconds[i]) + " comes " + Seconds(gap) +
              " after the one before, where the samples are " + Seconds(step) +
              " apart: analysis needs samples evenly spaced (within 1 %), or --resample HZ to make them so";
      return false;
    }
  }
  recorded.periodSeconds = (seconds.back() - seconds.front()) / static_cast<double>(seconds.size() - 1);
  recorded.frames = std::move(timed.frames);
  recorded.markers = std::move(timed.markers);
  return true;
}

bool FramesOfTrial(const recording::Trial& trial, const std::string& name, RecordedTrial& recorded, std::string& error) {
  TimedTrial timed;
  TimedTrialSink sink(timed);
  sink.Begin(trial);
  for (const recording::Sample& sample : trial.samples) sink.Add(sample);
  timed.label = LabelOf(trial.comments);
  return EvenFrames(timed, name, Resampling{}, recorded, error);
}

}  // namespace kymhost
