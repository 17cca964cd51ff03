// A recording: the frames of a run at their 10 ms steps, written to CSV as they come and kept,
// thinned out, for the picture at the end, with the markers set while recording.
#pragma once

#include "board_geometry.h"
#include "sway_measures.h"

#include <cstdio>
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
  explicit Recording(double framePeriodSeconds) : period_(framePeriodSeconds) {}
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  struct Marker {
    int number;
    long frame;
  };

  // Starts writing frames to a CSV file, the label (when there is one) in a comment line above
  // them; false when it cannot be created.
  bool OpenCsv(const std::string& path, const std::string& label);
  // Finishes the CSV file; false when anything could not be written.
  bool CloseCsv();
  // Adds a frame; marker is its marker number, 0 for none.
  void Add(const FrameKg& frame, int marker = 0);
  // The frame as its CSV row reads back (to the gram). A live recording adds its frames so, and
  // its measures are then those of its CSV.
  static FrameKg AsWritten(const FrameKg& frame);

  double Period() const { return period_; }
  long Frames() const { return frames_; }
  double Seconds() const { return static_cast<double>(frames_) * period_; }
  const FrameKg& Latest() const { return latest_; }
  // The points kept for plotting: at most about kTraceLimit, evenly spread.
  const std::vector<TracePoint>& Trace() const { return trace_; }
  // Every frame, for the sway measures (24 bytes a frame: under 9 MB an hour).
  const std::vector<SwayFrame>& SwayFrames() const { return sway_; }
  const std::vector<Marker>& Markers() const { return markers_; }

 private:
  static constexpr size_t kTraceLimit = 4000;
  void Thin();

  double period_;
  std::FILE* csv_ = nullptr;
  long frames_ = 0;
  FrameKg latest_{};
  std::vector<TracePoint> trace_;
  std::vector<SwayFrame> sway_;
  std::vector<Marker> markers_;
  long traceStride_ = 1;
};

}  // namespace kymhost
