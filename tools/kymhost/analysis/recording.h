// A recording kept for its measures: the frames of a run at their 10 ms steps, thinned out for
// the picture at the end, with the markers set while recording.
#pragma once

#include "measures/board_geometry.h"
#include "measures/sway_measures.h"
#include "measures/weight_bearing.h"

#include <string>
#include <vector>

namespace kymhost {

// The board sends 100 frames a second.
constexpr double kFramePeriodSeconds = 0.01;

struct TracePoint {
  double seconds;
  double totalKg;
  double copXmm;
  double copYmm;
  bool hasLoad;
};

class Recording {
 public:
  // weighsSides: the frames tell the person's left side from the right, so the recording's
  // measures include the weight bearing.
  explicit Recording(double framePeriodSeconds, bool weighsSides = true)
      : period_(framePeriodSeconds), weighsSides_(weighsSides) {}

  struct Marker {
    int number;
    long frame;
  };

  // Room for this many frames, so that an hour's do not grow by copies.
  void Reserve(size_t frames) { sway_.reserve(frames); }
  // Adds a frame; marker is its marker number, 0 for none. Its sides are the board's halves.
  void Add(const FrameKg& frame, int marker = 0);
  // Adds a frame that is no one board's (several boards together), with its sides.
  void Add(const SwayFrame& frame, const SideLoads& sides, int marker = 0);

  double Period() const { return period_; }
  long Frames() const { return frames_; }
  double Seconds() const { return static_cast<double>(frames_) * period_; }
  const FrameKg& Latest() const { return latest_; }
  // The points kept for plotting: at most about kTraceLimit, evenly spread.
  const std::vector<TracePoint>& Trace() const { return trace_; }
  // Every frame, for the sway measures (24 bytes a frame: under 9 MB an hour).
  const std::vector<SwayFrame>& SwayFrames() const { return sway_; }
  // The same, for the measures to filter in place: a copy of an hour's would be 9 MB more.
  SwayFrame* SwayFramesToMeasure() { return sway_.data(); }
  const std::vector<Marker>& Markers() const { return markers_; }
  bool WeighsSides() const { return weighsSides_; }
  // A frame's load on the left and the right, when the recording weighs its sides: kept for
  // several boards together; for one board worked out from its frame as recorded (its halves),
  // which spares an hour's recording 9 MB. Ask before the measures filter the frames.
  SideLoads SidesOf(size_t frame) const;

 private:
  static constexpr size_t kTraceLimit = 4000;
  void AddFrame(const SwayFrame& frame, int marker);
  void Thin();

  double period_;
  bool weighsSides_;
  long frames_ = 0;
  FrameKg latest_{};
  std::vector<TracePoint> trace_;
  std::vector<SwayFrame> sway_;
  std::vector<Marker> markers_;
  std::vector<SideLoads> sides_;  // of frames that are no one board's
  long traceStride_ = 1;
};

}  // namespace kymhost
