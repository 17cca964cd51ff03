#include "analysis/romberg.h"

#include "files/fixed_format.h"
#include "files/text_file.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kymhost {

namespace {

constexpr int kDecimals = 3;
constexpr int kKeyWidth = 20, kValueWidth = 12;
// Positions and shares, not magnitudes: a ratio of them means nothing.
const char* const kNoRatio[] = {"cop_mean_x_mm", "cop_mean_y_mm", "wba_mean_pct", "left_share_pct", "right_share_pct"};

struct Row {
  MeasureValue open, closed;
  bool hasRatio;
  double ratio;
};

std::vector<Row> Rows(const Analysis& open, const Analysis& closed) {
  std::vector<MeasureValue> a = MeasureValues(open.measures), b = MeasureValues(closed.measures);
  std::vector<Row> rows;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    bool meaningful = true;
    for (const char* key : kNoRatio) meaningful = meaningful && std::strcmp(key, a[i].key) != 0;
    bool hasRatio = meaningful && a[i].known && b[i].known && a[i].value != 0;
    rows.push_back({a[i], b[i], hasRatio, hasRatio ? b[i].value / a[i].value : 0});
  }
  return rows;
}

std::string Value(bool known, double value) { return known ? Fixed(value, kDecimals) : "-"; }

// A summary object set inside another: every line after the first indented once more.
std::string Nested(const std::string& json) {
  std::string out;
  for (size_t at = 0; at < json.size();) {
    size_t end = json.find('\n', at);
    std::string line = json.substr(at, end - at);
    at = end == std::string::npos ? json.size() : end + 1;
    if (!out.empty()) out += "\n  ";
    out += line;
  }
  return out;
}

}  // namespace

bool ReportRomberg(const Analysis& open, const Analysis& closed, const std::string& openName,
                   const std::string& closedName, const std::string& summaryPath) {
  std::vector<Row> rows = Rows(open, closed);
  std::printf("Eyes closed against eyes open (open: %s, closed: %s):\n", openName.c_str(), closedName.c_str());
  std::printf("  %-*s%*s%*s%*s\n", kKeyWidth, "measure", kValueWidth, "open", kValueWidth, "closed", kValueWidth,
              "closed/open");
  for (const Row& row : rows)
    std::printf("  %-*s%*s%*s%*s\n", kKeyWidth, row.open.key, kValueWidth, Value(row.open.known, row.open.value).c_str(),
                kValueWidth, Value(row.closed.known, row.closed.value).c_str(), kValueWidth,
                Value(row.hasRatio, row.ratio).c_str());
  if (summaryPath.empty()) return true;

  std::string ratios;
  for (const Row& row : rows)
    ratios += std::string(ratios.empty() ? "" : ",\n") + "    \"" + row.open.key +
              "\": " + (row.hasRatio ? Fixed(row.ratio, kDecimals) : "null");
  std::string json = "{\n  \"open_file\": " + JsonString(openName) + ",\n  \"closed_file\": " + JsonString(closedName) +
                     ",\n  \"open\": " + Nested(SummaryJson(open.measures, open.notes)) +
                     ",\n  \"closed\": " + Nested(SummaryJson(closed.measures, closed.notes)) +
                     ",\n  \"closed_over_open\": {\n" + ratios + "\n  }\n}\n";
  return Reported(WriteTextFile(summaryPath, json), "Summary", summaryPath);
}

}  // namespace kymhost
