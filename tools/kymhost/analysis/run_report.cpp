#include "analysis/run_report.h"

#include "files/fixed_format.h"
#include "files/svg_plot.h"
#include "files/text_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kymhost {

namespace {

// The time of the first frame carrying marker number, NaN when none does.
double MarkerSeconds(const Recording& recording, int number) {
  for (const Recording::Marker& marker : recording.Markers())
    if (marker.number == number) return static_cast<double>(marker.frame) * recording.Period();
  return std::nan("");
}

std::string MarkerList(const Recording& recording) {
  std::string list;
  for (const Recording::Marker& marker : recording.Markers())
    list += (list.empty() ? "" : ", ") + std::to_string(marker.number);
  return list.empty() ? "it has none" : "it has " + list;
}

// The frame nearest to a time, within the recording; fallback when the time is not given.
long FrameAt(double seconds, const Recording& recording, long fallback) {
  if (std::isnan(seconds)) return fallback;
  double frame = std::clamp(seconds / recording.Period(), 0.0, static_cast<double>(recording.Frames()));
  return std::lround(frame);  // clamped first: a long has 32 bits on Windows
}

}  // namespace

bool AnalyseRecording(Recording& recording, const Options& options, const std::string& label, Analysis& analysis,
                      std::string& error, const std::vector<bool>* standing) {
  TrialNotes& notes = analysis.notes;
  notes = TrialNotes{};
  notes.label = label;
  notes.fromSeconds = options.fromSeconds;
  notes.toSeconds = options.toSeconds;
  for (const Recording::Marker& marker : recording.Markers())
    notes.markers.push_back({marker.number, static_cast<double>(marker.frame) * recording.Period()});
  for (auto [number, seconds] : {std::pair{options.fromMarker, &notes.fromSeconds}, {options.toMarker, &notes.toSeconds}}) {
    if (number <= 0) continue;
    *seconds = MarkerSeconds(recording, number);
    if (std::isnan(*seconds)) {
      error = "there is no marker " + std::to_string(number) + " (" + MarkerList(recording) + ")";
      return false;
    }
  }

  long begin = FrameAt(notes.fromSeconds, recording, 0);
  long end = std::max(begin, FrameAt(notes.toSeconds, recording, recording.Frames()));
  if (begin == end && recording.Frames() > 0)
    std::fprintf(stderr, "kymhost: the part chosen holds no frames (the recording lasts %s s)\n",
                 Fixed(recording.Seconds(), kSecondsDecimals).c_str());
  std::vector<bool> standingPart;
  if (standing && standing->size() == recording.SwayFrames().size())
    standingPart.assign(standing->begin() + begin, standing->begin() + end);
  size_t count = static_cast<size_t>(end - begin);
  // The sides first: a board's are worked out from its frames as recorded, before any filter.
  WeightBearing weightBearing;
  if (recording.WeighsSides())
    weightBearing = MeasureWeightBearing(
        count, [&](size_t i) { return recording.SidesOf(static_cast<size_t>(begin) + i); },
        StandingLeastKg(recording.SwayFrames().data() + begin, count));
  analysis.measures = MeasureSway(recording.SwayFramesToMeasure() + begin, count, recording.Period(), options.lowpassHz,
                                  standing ? &standingPart : nullptr);
  analysis.measures.weightBearing = weightBearing;

  // The trace keeps the points of the same frames: half a frame's tolerance on either side.
  double first = (static_cast<double>(begin) - 0.5) * recording.Period();
  double last = (static_cast<double>(end) - 0.5) * recording.Period();
  analysis.trace.clear();
  for (const TracePoint& point : recording.Trace())
    if (point.seconds >= first && point.seconds < last) analysis.trace.push_back(point);
  return true;
}

void PrintAnalysis(const Analysis& analysis) {
  for (const std::string& line : SummaryLines(analysis.measures, analysis.notes)) std::printf("%s\n", line.c_str());
}

bool WriteAnalysis(const Analysis& analysis, const std::string& plotPath, const std::string& summaryPath) {
  bool written = true;
  if (!plotPath.empty())
    written = Reported(WritePlot(plotPath, analysis.trace, analysis.measures, analysis.notes), "Plot", plotPath) && written;
  if (!summaryPath.empty())
    written = Reported(WriteTextFile(summaryPath, SummaryJson(analysis.measures, analysis.notes)), "Summary",
                       summaryPath) &&
              written;
  return written;
}

}  // namespace kymhost
