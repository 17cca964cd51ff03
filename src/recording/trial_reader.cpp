#include "recording/trial_reader.h"

#include "recording/text_file.h"
#include "recording/trial_columns.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace recording {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";  // spreadsheet programs start UTF-8 files with it
constexpr char kBlanks[] = " \t";
constexpr char kValueSeparators[] = ",;\t";
constexpr char kSpaces = ' ';  // the separator of files whose values runs of blanks separate

// Where each corner sits, as signs of x (right) and y (front).
struct Place {
  int x, y;
};
constexpr Place kCornerPlaces[kCorners] = {{-1, 1}, {-1, -1}, {1, 1}, {1, -1}};
const Quantity kCornerColumns[kCorners] = {kTopLeft, kBottomLeft, kTopRight, kBottomRight};

char SeparatorOf(const std::string& header) {
  char separator = kSpaces;
  long most = 0;
  for (const char* c = kValueSeparators; *c; ++c) {
    long count = std::count(header.begin(), header.end(), *c);
    if (count > most) {
      most = count;
      separator = *c;
    }
  }
  return separator;
}

// The line's values, without the blanks and quotes around them.
std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  size_t at = 0;
  while (at <= line.size()) {
    if (separator == kSpaces) {
      at = line.find_first_not_of(kBlanks, at);
      if (at == std::string::npos) break;
    }
    size_t end = separator == kSpaces ? line.find_first_of(kBlanks, at) : line.find(separator, at);
    if (end == std::string::npos) end = line.size();
    fields.push_back(Trimmed(Trimmed(line.substr(at, end - at)), "\""));
    at = end + 1;
  }
  return fields;
}

bool ReadNumber(std::string text, bool decimalComma, double& value) {
  if (decimalComma) std::replace(text.begin(), text.end(), ',', '.');
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  auto result = std::from_chars(begin, end, value);
  return begin != end && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

bool ReadMarker(const std::string& text, int& marker) {
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

bool ParseTrial(const std::string& text, const std::string& name, const Axes& axes, Trial& trial, std::string& error) {
  trial = Trial{};
  long lineNumber = 0;
  auto fail = [&](const std::string& what, bool onLine = true) {
    error = name + (onLine ? ":" + std::to_string(lineNumber) : "") + ": " + what;
    return false;
  };
  Columns columns;
  bool header = false;
  char separator = ',';
  size_t needed = 0;
  size_t at = text.compare(0, sizeof kByteOrderMark - 1, kByteOrderMark) == 0 ? sizeof kByteOrderMark - 1 : 0;
  while (at < text.size()) {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string content = Trimmed(line);
    if (content.empty()) continue;
    if (content[0] == '#') {
      trial.comments.push_back(Trimmed(content.substr(1)));
      continue;
    }
    if (!header) {
      separator = SeparatorOf(line);
      std::string why;
      if (!ReadHeader(Split(line, separator), columns, why)) return fail(why);
      if (const char* missing = MissingColumn(columns)) return fail(missing);
      trial.hasCorners = true;
      for (Quantity corner : kCornerColumns) trial.hasCorners = trial.hasCorners && columns.of[corner].index >= 0;
      trial.hasMarkers = columns.of[kMarker].index >= 0;
      for (const Column& column : columns.of) needed = std::max(needed, static_cast<size_t>(column.index + 1));
      header = true;
      continue;
    }
    std::vector<std::string> fields = Split(line, separator);
    if (std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); })) continue;
    if (fields.size() < needed)
      return fail(std::to_string(fields.size()) + " values where the header's columns need " + std::to_string(needed));
    Sample sample{};
    sample.line = lineNumber;
    bool decimalComma = separator != ',';
    std::string bad;
    auto read = [&](Quantity quantity, double& value) {
      const Column& column = columns.of[quantity];
      const std::string& field = fields[static_cast<size_t>(column.index)];
      if (!ReadNumber(field, decimalComma, value)) {
        bad = "'" + field + "' is not a number for the column '" + column.title + "'";
        return false;
      }
      value *= column.scale;
      return true;
    };
    if (!read(kTime, sample.seconds) || !read(kLoad, sample.totalKg) || !read(kCopX, sample.copXmm) ||
        !read(kCopY, sample.copYmm))
      return fail(bad);
    for (int i = 0; i < kCorners && trial.hasCorners; ++i)
      if (!read(kCornerColumns[i], sample.cornersKg[i])) return fail(bad);
    if (trial.hasMarkers) {
      const std::string& field = fields[static_cast<size_t>(columns.of[kMarker].index)];
      if (!ReadMarker(field, sample.marker)) return fail("'" + field + "' is not a marker number");
    }
    if (!trial.samples.empty() && !(sample.seconds > trial.samples.back().seconds))
      return fail("the time " + Seconds(sample.seconds) + " does not come after " +
                  Seconds(trial.samples.back().seconds) + " on line " + std::to_string(trial.samples.back().line));
    ApplyAxes(axes, sample);
    trial.samples.push_back(sample);
  }
  if (!header) return fail("no header line naming the columns", false);
  if (trial.samples.empty()) return fail("no samples after the header", false);
  return true;
}

bool ReadTrial(const std::string& path, const Axes& axes, Trial& trial, std::string& error) {
  std::string text;
  return ReadTextFile(path, text, error) && ParseTrial(text, path, axes, trial, error);
}

}  // namespace recording
