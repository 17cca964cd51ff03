// A recording as its file gives it, each sample at its own time, and as kymhost analyses it:
// frames at even steps, with their markers and label.
#pragma once

#include "measures/board_geometry.h"
#include "recording/trial_reader.h"

#include <string>
#include <vector>

namespace kymhost {

// kymhost's CSV carries the trial's label in a comment line that starts so.
constexpr char kLabelComment[] = "label:";
// Samples further from even spacing than this share of their step cannot be analysed as they are.
constexpr double kEvenSpacingTolerance = 0.01;

struct TrialMarker {
  int number;
  size_t index;  // of the sample, or of the frame, that carries it
};

struct TimedTrial {
  std::vector<double> seconds;  // increasing
  std::vector<FrameKg> frames;  // one a time
  std::vector<long> lines;      // where each sample is in its file; empty for files without lines
  std::vector<TrialMarker> markers;
  std::string label;
  // A capture's frames as the plug-in paced them, one every 10 ms; empty for other files.
  std::vector<FrameKg> paced;

  void Add(double at, const FrameKg& frame, long line, int marker);
  // Where sample i is, for messages: "run.csv:12" or "run.xdf: sample 12".
  std::string Where(const std::string& name, size_t i) const;
};

// Uneven samples made even: SWARII at rateHz over windows of windowSeconds; rateHz 0 for none.
struct Resampling {
  double rateHz = 0;
  double windowSeconds = 0;
};

struct RecordedTrial {
  double periodSeconds = 0;
  std::vector<FrameKg> frames;
  std::vector<TrialMarker> markers;  // by frame
  std::string label;
  Resampling resampled;  // how the frames came from the file's samples
};

// The frames of a trial's samples: these themselves when they are evenly spaced, else (or
// always, when resampling asks for it) resampled. False, with error naming the file and line,
// for uneven samples without resampling. The samples are taken from timed.
bool EvenFrames(TimedTrial& timed, const std::string& name, const Resampling& resampling, RecordedTrial& recorded,
                std::string& error);

// Takes a reader's samples into a timed trial: from their corners when the file has them
// (kymhost's CSV), else the frames with their total and centre of pressure.
class TimedTrialSink final : public recording::SampleSink {
 public:
  explicit TimedTrialSink(TimedTrial& trial) : trial_(trial) {}
  void Begin(const recording::TrialInfo& info) override { hasCorners_ = info.hasCorners; }
  void Add(const recording::Sample& sample) override;

 private:
  TimedTrial& trial_;
  bool hasCorners_ = false;
};

// The label of a '# label: TEXT' comment, or empty.
std::string LabelOf(const std::vector<std::string>& comments);

// The trial's frames, evenly spaced: a reader's trial and EvenFrames in one.
bool FramesOfTrial(const recording::Trial& trial, const std::string& name, RecordedTrial& recorded, std::string& error);

}  // namespace kymhost
