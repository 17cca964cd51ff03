// The picture balance researchers look at: weight over time beside the sway of the centre of
// pressure, in one self-contained SVG file.
#include "fixed_format.h"
#include "recording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kymhost {

namespace {

constexpr double kWidth = 960, kHeight = 420, kMargin = 50;
constexpr double kTimePanelWidth = 560, kCopPanelSize = 300;
constexpr double kTitleRise = 15, kLabelDrop = 16, kLabelGap = 5;
constexpr double kWeightPad = 0.1;        // a tenth of the range above and below the curve
constexpr double kLeastWeightSpanKg = 5;  // a steady weight draws as a steady line, not as noise
constexpr double kCopLeastExtentMm = 20;  // the centre-of-pressure panel shows at least this each way
constexpr double kCopPad = 1.1;

struct Range {
  double low, high;
  double Span() const { return high > low ? high - low : 1.0; }
};

Range Around(double low, double high, double padFraction, double leastSpan) {
  bool noneNegative = low >= 0;
  double pad = (high - low) * padFraction;
  low -= pad;
  high += pad;
  if (high - low < leastSpan) {
    double middle = (low + high) / 2;
    low = middle - leastSpan / 2;
    high = middle + leastSpan / 2;
  }
  if (noneNegative && low < 0) {  // no negative weights below data that has none
    high -= low;
    low = 0;
  }
  return {low, high};
}

std::string N(double value) { return Fixed(value, 1); }

std::string Text(double x, double y, const std::string& text, const char* anchor = nullptr,
                 bool bold = false) {
  std::string out = "<text x=\"" + N(x) + "\" y=\"" + N(y) + "\"";
  if (anchor) out += std::string(" text-anchor=\"") + anchor + "\"";
  if (bold) out += " font-weight=\"bold\"";
  return out + ">" + text + "</text>\n";
}

std::string Frame(double x, double y, double w, double h) {
  return "<rect x=\"" + N(x) + "\" y=\"" + N(y) + "\" width=\"" + N(w) + "\" height=\"" + N(h) +
         "\" fill=\"none\" stroke=\"#888\"/>\n";
}

std::string Line(double x1, double y1, double x2, double y2) {
  return "<line x1=\"" + N(x1) + "\" y1=\"" + N(y1) + "\" x2=\"" + N(x2) + "\" y2=\"" + N(y2) +
         "\" stroke=\"#ddd\"/>\n";
}

}  // namespace

bool WritePlot(const std::string& path, const std::vector<TracePoint>& trace) {
  Range time{0, 1}, weight{0, 1};
  double copExtent = kCopLeastExtentMm;
  if (!trace.empty()) {
    time = {trace.front().seconds, std::max(trace.back().seconds, trace.front().seconds + 0.01)};
    double lo = trace.front().totalKg, hi = lo;
    for (const auto& p : trace) {
      lo = std::min(lo, p.totalKg);
      hi = std::max(hi, p.totalKg);
      if (p.hasLoad) copExtent = std::max({copExtent, std::fabs(p.copXmm), std::fabs(p.copYmm)});
    }
    weight = Around(lo, hi, kWeightPad, kLeastWeightSpanKg);
  }
  copExtent *= kCopPad;

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    N(kWidth) + "\" height=\"" + N(kHeight) + "\" viewBox=\"0 0 " + N(kWidth) + " " + N(kHeight) +
                    "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "<title>Wii Balance Board recording</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";

  // Total weight over time.
  double x0 = kMargin, y0 = kMargin, w = kTimePanelWidth - kMargin, h = kHeight - 2 * kMargin;
  svg += Text(x0, y0 - kTitleRise, "Total weight (kg) over time (s)", nullptr, true);
  svg += Frame(x0, y0, w, h);
  svg += Text(x0 - kLabelGap, y0 + 4, N(weight.high), "end");
  svg += Text(x0 - kLabelGap, y0 + h, N(weight.low), "end");
  svg += Text(x0, y0 + h + kLabelDrop, N(time.low));
  svg += Text(x0 + w, y0 + h + kLabelDrop, N(time.high), "end");
  svg += "<polyline fill=\"none\" stroke=\"#1f77b4\" stroke-width=\"1.2\" points=\"";
  for (const auto& p : trace) {
    svg += N(x0 + (p.seconds - time.low) / time.Span() * w) + "," +
           N(y0 + h - (p.totalKg - weight.low) / weight.Span() * h) + " ";
  }
  svg += "\"/>\n";

  // Centre of pressure, seen from above: x to the right, y to the front (up).
  double cx0 = kTimePanelWidth + kMargin, cy0 = kMargin, size = kCopPanelSize;
  svg += Text(cx0, cy0 - kTitleRise, "Centre of pressure (mm)", nullptr, true);
  svg += Frame(cx0, cy0, size, size);
  svg += Line(cx0 + size / 2, cy0, cx0 + size / 2, cy0 + size);
  svg += Line(cx0, cy0 + size / 2, cx0 + size, cy0 + size / 2);
  svg += Text(cx0, cy0 + size + kLabelDrop, "&#177;" + Fixed(copExtent, 0) + " mm");
  // One stroke for each stretch with someone on the board: no jump across the time it was empty.
  svg += "<path fill=\"none\" stroke=\"#d62728\" stroke-width=\"0.8\" d=\"";
  bool drawing = false;
  for (const auto& p : trace) {
    if (p.hasLoad) {
      svg += (drawing ? "L" : "M") + N(cx0 + size / 2 + p.copXmm / copExtent * size / 2) + "," +
             N(cy0 + size / 2 - p.copYmm / copExtent * size / 2) + " ";
    }
    drawing = p.hasLoad;
  }
  svg += "\"/>\n</svg>\n";

  std::FILE* out = std::fopen(path.c_str(), "w");
  if (!out) return false;
  bool written = std::fwrite(svg.data(), 1, svg.size(), out) == svg.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace kymhost
