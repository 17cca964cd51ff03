#include "recording/force_plate_exports.h"

#include "recording/text_fields.h"
#include "recording/text_file.h"
#include "recording/text_lines.h"
#include "recording/trial_columns.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace recording {

namespace {

constexpr double kStandardGravity = 9.80665;
constexpr double kMillimetresPerMetre = 1000;
constexpr int kSixColumns = 6;
constexpr char kNexusSection[] = "devices";
// Below this force (N) nobody stands on the plate and its centre of pressure means nothing.
constexpr double kLeastForceN = 1.0;

struct Located {
  TextLines& lines;
  const std::string& name;
  std::string& error;
  bool Fail(const std::string& what) {
    error = name + ":" + std::to_string(lines.Number()) + ": " + what;
    return false;
  }
};

bool AllNumbers(const std::vector<std::string_view>& fields) {
  double value = 0;
  return !fields.empty() &&
         std::all_of(fields.begin(), fields.end(), [&](std::string_view f) { return ReadDecimal(f, false, value); });
}

double MillimetresPer(std::string_view unit) {
  std::string lower = Lower(std::string(TrimmedView(unit)));
  if (lower == "m") return kMillimetresPerMetre;
  if (lower == "cm") return 10;
  return lower == "mm" || lower.empty() ? 1 : 0;
}

// The sample of a centre of pressure, its axes as the options say.
void Add(SampleSink& sink, const Axes& axes, double seconds, double forceN, double xMm, double yMm, long line) {
  Sample sample{};
  sample.seconds = seconds;
  sample.totalKg = forceN / kStandardGravity;
  double x = xMm, y = yMm;
  if (axes.swap) std::swap(x, y);
  sample.copXmm = axes.flipX ? -x : x;
  sample.copYmm = axes.flipY ? -y : y;
  sample.line = line;
  sink.Add(sample);
}

}  // namespace

bool IsNexusDevices(std::string_view firstLine) {
  std::vector<std::string_view> fields;
  Split(firstLine, SeparatorOf(firstLine), fields);
  return !fields.empty() && Lower(std::string(fields[0])) == kNexusSection;
}

bool IsSixColumnExport(std::string_view firstLine) {
  std::vector<std::string_view> fields;
  Split(firstLine, SeparatorOf(firstLine), fields);
  return fields.size() == kSixColumns && AllNumbers(fields);
}

bool ReadNexusDevices(const std::string& path, const Axes& axes, int plate, SampleSink& sink, std::string& error) {
  File file = OpenForReading(path, error);
  if (!file) return false;
  TextLines lines(file.get());
  Located at{lines, path, error};
  std::string_view line;
  std::vector<std::string_view> fields;
  auto next = [&](const char* what) {
    while (lines.Next(line))
      if (!TrimmedView(line).empty()) return true;
    error = path + ": " + (lines.Failed() ? lines.Failed() : std::string("ends before ") + what);
    return false;
  };
  if (!next("its section's name")) return false;
  double rateHz = 0;
  if (!next("the device rate")) return false;
  Split(line, SeparatorOf(line), fields);
  if (fields.empty() || !ReadDecimal(fields[0], false, rateHz) || !(rateHz > 0))
    return at.Fail("the device rate '" + std::string(fields.empty() ? "" : fields[0]) + "' is not a rate in Hz");
  if (!next("the names of its devices") || !next("the header 'Frame,Sub Frame,Fx,...'")) return false;
  char separator = SeparatorOf(line);
  Split(line, separator, fields);
  std::vector<std::string> titles(fields.begin(), fields.end()), header;
  for (const std::string& title : titles) header.push_back(Lower(title));
  if (header.size() < 2 || header[0] != "frame" || header[1] != "sub frame")
    return at.Fail("the header does not start with 'Frame,Sub Frame'");
  // The plate's columns: its Fz, then the Cx and Cy after it.
  long fz = -1, cx = -1, cy = -1;
  int plates = 0;
  for (size_t i = 2; i < header.size(); ++i) {
    if (header[i] == "fz" && ++plates == plate) fz = static_cast<long>(i);
    if (fz >= 0 && plates == plate && cx < 0 && header[i] == "cx") cx = static_cast<long>(i);
    if (fz >= 0 && plates == plate && cy < 0 && header[i] == "cy") cy = static_cast<long>(i);
  }
  if (fz < 0) return at.Fail("there is no force plate " + std::to_string(plate) + " (it has " + std::to_string(plates) + ")");
  if (cx < 0 || cy < 0) return at.Fail("force plate " + std::to_string(plate) + " has no Cx and Cy columns");
  if (!next("its units row")) return false;
  Split(line, separator, fields);
  size_t needed = static_cast<size_t>(std::max({fz, cx, cy})) + 1;
  double xScale = fields.size() > static_cast<size_t>(cx) ? MillimetresPer(fields[static_cast<size_t>(cx)]) : 1;
  double yScale = fields.size() > static_cast<size_t>(cy) ? MillimetresPer(fields[static_cast<size_t>(cy)]) : 1;
  if (xScale == 0 || yScale == 0) return at.Fail("the centre of pressure's unit is not mm, cm or m");
  // Times need the frames' sub-frame count, which only the data shows: rows first, times after.
  struct Row {
    double frame, subFrame, forceN, xMm, yMm;
    long line;
  };
  std::vector<Row> rows;
  while (lines.Next(line)) {
    if (TrimmedView(line).empty()) break;  // the next section follows a blank line
    Split(line, separator, fields);
    if (fields.size() < needed) return at.Fail(std::to_string(fields.size()) + " values where the plate's columns need " + std::to_string(needed));
    Row row{};
    row.line = lines.Number();
    const std::pair<size_t, double*> cells[] = {{0, &row.frame}, {1, &row.subFrame}, {static_cast<size_t>(fz), &row.forceN},
                                                {static_cast<size_t>(cx), &row.xMm}, {static_cast<size_t>(cy), &row.yMm}};
    for (const auto& [column, value] : cells)
      if (!ReadDecimal(fields[column], false, *value))
        return at.Fail("'" + std::string(fields[column]) + "' is not a number for the column '" + titles[column] + "'");
    rows.push_back(row);
  }
  if (lines.Failed()) return at.Fail(lines.Failed());
  if (rows.empty()) return at.Fail("no samples after the units row");
  double subFrames = 1;
  for (const Row& row : rows) subFrames = std::max(subFrames, row.subFrame + 1);
  TrialInfo info;
  sink.Begin(info);
  double lastSeconds = -1;
  for (const Row& row : rows) {
    double seconds = ((row.frame - rows.front().frame) * subFrames + row.subFrame) / rateHz;
    if (seconds <= lastSeconds) {
      error = path + ":" + std::to_string(row.line) + ": frame " + std::to_string(std::lround(row.frame)) + ", sub frame " +
              std::to_string(std::lround(row.subFrame)) +
              " does not come after the row before";
      return false;
    }
    lastSeconds = seconds;
    double force = -row.forceN;
    bool loaded = force >= kLeastForceN;
    Add(sink, axes, seconds, force, loaded ? row.xMm * xScale : 0, loaded ? row.yMm * yScale : 0, row.line);
  }
  return true;
}

bool ReadSixColumnExport(const std::string& path, const Axes& axes, double rateHz, double depthMm, SampleSink& sink,
                         std::string& error) {
  if (!(rateHz > 0)) {
    error = path + ": a headerless six-column export does not say its rate: give it with --rate HZ";
    return false;
  }
  File file = OpenForReading(path, error);
  if (!file) return false;
  TextLines lines(file.get());
  Located at{lines, path, error};
  std::string_view line;
  std::vector<std::string_view> fields;
  TrialInfo info;
  sink.Begin(info);
  double depth = depthMm / kMillimetresPerMetre;
  long samples = 0;
  while (lines.Next(line)) {
    if (TrimmedView(line).empty()) continue;
    Split(line, SeparatorOf(line), fields);
    if (fields.size() != kSixColumns) return at.Fail(std::to_string(fields.size()) + " values where the export has six (Fx Fy Fz Mx My Mz)");
    double v[kSixColumns];
    for (int i = 0; i < kSixColumns; ++i)
      if (!ReadDecimal(fields[static_cast<size_t>(i)], false, v[i]))
        return at.Fail("'" + std::string(fields[static_cast<size_t>(i)]) + "' is not a number for column " + std::to_string(i + 1));
    double fx = v[0], fy = v[1], fz = v[2], mx = v[3], my = v[4];
    bool loaded = fz >= kLeastForceN;
    double x = loaded ? -(my + depth * fx) / fz * kMillimetresPerMetre : 0;
    double y = loaded ? (mx - depth * fy) / fz * kMillimetresPerMetre : 0;
    Add(sink, axes, static_cast<double>(samples++) / rateHz, fz, x, y, lines.Number());
  }
  if (lines.Failed()) return at.Fail(lines.Failed());
  if (samples == 0) {
    error = path + ": no samples";
    return false;
  }
  return true;
}

}  // namespace recording
