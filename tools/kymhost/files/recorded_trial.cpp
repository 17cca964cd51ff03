#include "files/recorded_trial.h"

#include "files/fixed_format.h"

#include <algorithm>
#include <cmath>

namespace kymhost {

namespace {

static_assert(recording::kCorners == kChannels, "the reader's corners are kymhost's channels, in their order");

std::string Seconds(double seconds) { return Short(seconds) + " s"; }

}  // namespace

bool FramesOfTrial(const recording::Trial& trial, const std::string& name, RecordedTrial& recorded, std::string& error) {
  recorded = RecordedTrial{};
  const std::vector<recording::Sample>& samples = trial.samples;
  if (samples.size() < 2) {
    error = name + ": one sample is not a recording to analyse";
    return false;
  }
  // The median step is the one the samples keep to; a gap or a jitter stands out against it.
  std::vector<double> steps;
  for (size_t i = 1; i < samples.size(); ++i) steps.push_back(samples[i].seconds - samples[i - 1].seconds);
  auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
  std::nth_element(steps.begin(), middle, steps.end());
  double step = *middle;
  for (size_t i = 1; i < samples.size(); ++i) {
    double gap = samples[i].seconds - samples[i - 1].seconds;
    if (std::fabs(gap - step) > kEvenSpacingTolerance * step) {
      error = name + ":" + std::to_string(samples[i].line) + ": the time " + Seconds(samples[i].seconds) + " comes " +
              Seconds(gap) + " after the one before, where the samples are " + Seconds(step) +
              " apart: analysis needs samples evenly spaced (within 1 %)";
      return false;
    }
  }
  recorded.periodSeconds = (samples.back().seconds - samples.front().seconds) / static_cast<double>(samples.size() - 1);
  for (const recording::Sample& s : samples) {
    FrameKg frame{};
    if (trial.hasCorners)
      std::copy(s.cornersKg, s.cornersKg + kChannels, frame.channel);
    else
      frame = FrameKg::Of(s.totalKg, s.copXmm, s.copYmm);
    recorded.frames.push_back(frame);
    recorded.markers.push_back(s.marker);
  }
  for (const std::string& comment : trial.comments) {
    if (comment.rfind(kLabelComment, 0) != 0) continue;
    size_t text = comment.find_first_not_of(' ', sizeof kLabelComment - 1);
    recorded.label = text == std::string::npos ? "" : comment.substr(text);
    break;
  }
  return true;
}

}  // namespace kymhost
