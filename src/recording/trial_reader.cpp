#include "recording/trial_reader.h"

#include "recording/text_fields.h"
#include "recording/text_file.h"
#include "recording/text_lines.h"
#include "recording/trial_columns.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace recording {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";  // spreadsheet programs start UTF-8 files with it

// Where each corner sits, as signs of x (right) and y (front).
struct Place {
  int x, y;
};
constexpr Place kCornerPlaces[kCorners] = {{-1, 1}, {-1, -1}, {1, 1}, {1, -1}};
const Quantity kCornerColumns[kCorners] = {kTopLeft, kBottomLeft, kTopRight, kBottomRight};

bool ReadMarker(std::string_view text, int& marker) {
  marker = 0;
  if (text.empty()) return true;
  auto result = std::from_chars(text.data(), text.data() + text.size(), marker);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && marker >= 0;
}

Place Moved(Place place, const Axes& axes) {
  if (axes.swap) std::swap(place.x, place.y);
  if (axes.flipX) place.x = -place.x;
  if (axes.flipY) place.y = -place.y;
  return place;
}

void ApplyAxes(const Axes& axes, Sample& sample) {
  double x = sample.copXmm, y = sample.copYmm;
  if (axes.swap) std::swap(x, y);
  sample.copXmm = axes.flipX ? -x : x;
  sample.copYmm = axes.flipY ? -y : y;
  double corners[kCorners];
  std::copy(sample.cornersKg, sample.cornersKg + kCorners, corners);
  for (int from = 0; from < kCorners; ++from) {
    Place to = Moved(kCornerPlaces[from], axes);
    for (int i = 0; i < kCorners; ++i)
      if (kCornerPlaces[i].x == to.x && kCornerPlaces[i].y == to.y) sample.cornersKg[i] = corners[from];
  }
}

const char* MissingColumn(const Columns& columns) {
  if (columns.of[kTime].index < 0) return "no time column (such as 'time', 't' or 'time_ms')";
  if (columns.of[kLoad].index < 0) return "no force or weight column (such as 'Fz[N]', 'force', 'total' or 'weight_kg')";
  if (columns.of[kCopX].index < 0) return "no centre-of-pressure x column (such as 'COPx', 'cop_x_mm' or 'CoP X [cm]')";
  if (columns.of[kCopY].index < 0) return "no centre-of-pressure y column (such as 'COPy', 'cop_y_mm' or 'CoP Y [cm]')";
  return nullptr;
}

// Six significant digits with a decimal point, whatever the process's locale.
std::string Seconds(double seconds) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, seconds, std::chars_format::general, 6);
  return std::string(text, result.ptr) + " s";
}

}  // namespace

void CornersOfCentre(double totalKg, double copXmm, double copYmm, double cornersKg[kCorners]) {
  double right = 2 * copXmm / kSensorSpanXmm, front = 2 * copYmm / kSensorSpanYmm, quarter = totalKg / 4;
  for (int i = 0; i < kCorners; ++i)
    cornersKg[i] = quarter * (1 + kCornerPlaces[i].x * right + kCornerPlaces[i].y * front);
}

bool AddAxesWord(const std::string& word, Axes& axes) {
  std::string lower = Lower(word);
  bool* option = lower == "swap" ? &axes.swap : lower == "flip-x" ? &axes.flipX : lower == "flip-y" ? &axes.flipY : nullptr;
  if (option) *option = true;
  return option != nullptr;
}

namespace {

// The samples of a recording's lines, handed to sink one by one.
bool ParseLines(TextLines& lines, const std::string& name, const Axes& axes, TrialInfo& info, SampleSink& sink,
                std::string& error) {
  info = TrialInfo{};
  auto fail = [&](const std::string& what, bool onLine = true) {
    error = name + (onLine ? ":" + std::to_string(lines.Number()) : "") + ": " + what;
    return false;
  };
  Columns columns;
  bool header = false;
  char separator = ',';
  size_t needed = 0;
  std::vector<std::string_view> fields;
  bool any = false;
  double lastSeconds = 0;
  long lastLine = 0;
  std::string_view line;
  while (lines.Next(line)) {
    if (lines.Number() == 1 && line.substr(0, sizeof kByteOrderMark - 1) == kByteOrderMark)
      line.remove_prefix(sizeof kByteOrderMark - 1);
    std::string_view content = TrimmedView(line, kBlanks);
    if (content.empty()) continue;
    if (content[0] == '#') {
      info.comments.push_back(std::string(TrimmedView(content.substr(1), kBlanks)));
      continue;
    }
    if (!header) {
      separator = SeparatorOf(line);
      Split(line, separator, fields);
      std::string why;
      if (!ReadHeader(std::vector<std::string>(fields.begin(), fields.end()), columns, why)) return fail(why);
      if (const char* missing = MissingColumn(columns)) return fail(missing);
      info.hasCorners = true;
      for (Quantity corner : kCornerColumns) info.hasCorners = info.hasCorners && columns.of[corner].index >= 0;
      info.hasMarkers = columns.of[kMarker].index >= 0;
      for (const Column& column : columns.of) needed = std::max(needed, static_cast<size_t>(column.index + 1));
      header = true;
      sink.Begin(info);
      continue;
    }
    Split(line, separator, fields);
    if (std::all_of(fields.begin(), fields.end(), [](std::string_view f) { return f.empty(); })) continue;
    if (fields.size() < needed)
      return fail(std::to_string(fields.size()) + " values where the header's columns need " + std::to_string(needed));
    Sample sample{};
    sample.line = lines.Number();
    bool decimalComma = separator != ',';
    std::string bad;
    auto read = [&](Quantity quantity, double& value) {
      const Column& column = columns.of[quantity];
      std::string_view field = fields[static_cast<size_t>(column.index)];
      if (!ReadDecimal(field, decimalComma, value)) {
        bad = "'" + std::string(field) + "' is not a number for the column '" + column.title + "'";
        return false;
      }
      value *= column.scale;
      return true;
    };
    if (!read(kTime, sample.seconds) || !read(kLoad, sample.totalKg) || !read(kCopX, sample.copXmm) ||
        !read(kCopY, sample.copYmm))
      return fail(bad);
    for (int i = 0; i < kCorners && info.hasCorners; ++i)
      if (!read(kCornerColumns[i], sample.cornersKg[i])) return fail(bad);
    if (info.hasMarkers) {
      std::string_view field = fields[static_cast<size_t>(columns.of[kMarker].index)];
      if (!ReadMarker(field, sample.marker)) return fail("'" + std::string(field) + "' is not a marker number");
    }
    if (any && !(sample.seconds > lastSeconds))
      return fail("the time " + Seconds(sample.seconds) + " does not come after " + Seconds(lastSeconds) + " on line " +
                  std::to_string(lastLine));
    ApplyAxes(axes, sample);
    sink.Add(sample);
    any = true;
    lastSeconds = sample.seconds;
    lastLine = sample.line;
  }
  if (lines.Failed()) return fail(lines.Failed(), false);
  if (!header) return fail("no header line naming the columns", false);
  if (!any) return fail("no samples after the header", false);
  return true;
}

class TrialSamples final : public SampleSink {
 public:
  explicit TrialSamples(Trial& trial) : trial_(trial) {}
  void Add(const Sample& sample) override { trial_.samples.push_back(sample); }

 private:
  Trial& trial_;
};

}  // namespace

bool ParseTrial(const std::string& text, const std::string& name, const Axes& axes, Trial& trial, std::string& error) {
  trial = Trial{};
  TextLines lines(text);
  TrialSamples samples(trial);
  return ParseLines(lines, name, axes, trial, samples, error);
}

bool ReadTrialSamples(const std::string& path, const Axes& axes, TrialInfo& info, SampleSink& sink,
                      std::string& error) {
  File file = OpenForReading(path, error);
  if (!file) return false;
  TextLines lines(file.get());
  return ParseLines(lines, path, axes, info, sink, error);
}

bool ReadTrial(const std::string& path, const Axes& axes, Trial& trial, std::string& error) {
  trial = Trial{};
  TrialSamples samples(trial);
  return ReadTrialSamples(path, axes, trial, samples, error);
}

}  // namespace recording
