// The picture balance researchers look at: weight over time beside the sway of the centre of
// pressure, in one self-contained SVG file.
#include "recording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kymhost {

namespace {

constexpr double kWidth = 960, kHeight = 420, kMargin = 50;
constexpr double kTimePanelWidth = 560, kCopPanelSize = 300;

struct Range {
  double low, high;
  double Span() const { return high > low ? high - low : 1.0; }
};

Range Around(double low, double high, double padFraction) {
  if (high <= low) return {low - 1, high + 1};
  double pad = (high - low) * padFraction;
  return {low - pad, high + pad};
}

}  // namespace

bool WritePlot(const std::string& path, const std::vector<TracePoint>& trace) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (!out) return false;
  Range time{0, 1}, weight{0, 1};
  double copExtent = 20;  // millimetres each way at least
  if (!trace.empty()) {
    time = {trace.front().seconds, std::max(trace.back().seconds, trace.front().seconds + 0.01)};
    double lo = trace.front().totalKg, hi = lo;
    for (const auto& p : trace) {
      lo = std::min(lo, p.totalKg);
      hi = std::max(hi, p.totalKg);
      if (p.hasLoad) copExtent = std::max({copExtent, std::fabs(p.copXmm), std::fabs(p.copYmm)});
    }
    weight = Around(lo, hi, 0.1);
  }
  copExtent *= 1.1;

  std::fprintf(out,
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
               "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" font-size=\"12\">\n",
               kWidth, kHeight, kWidth, kHeight);
  std::fputs("<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n", out);

  // Total weight over time.
  double x0 = kMargin, y0 = kMargin, w = kTimePanelWidth - kMargin, h = kHeight - 2 * kMargin;
  std::fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" font-weight=\"bold\">Total weight (kg) over time (s)</text>\n", x0,
               y0 - 15);
  std::fprintf(out, "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" stroke=\"#888\"/>\n", x0,
               y0, w, h);
  std::fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">%.1f</text>\n", x0 - 5, y0 + 4, weight.high);
  std::fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">%.1f</text>\n", x0 - 5, y0 + h, weight.low);
  std::fprintf(out, "<text x=\"%.0f\" y=\"%.0f\">%.1f</text>\n", x0, y0 + h + 16, time.low);
  std::fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">%.1f</text>\n", x0 + w, y0 + h + 16, time.high);
  std::fputs("<polyline fill=\"none\" stroke=\"#1f77b4\" stroke-width=\"1.2\" points=\"", out);
  for (const auto& p : trace) {
    std::fprintf(out, "%.1f,%.1f ", x0 + (p.seconds - time.low) / time.Span() * w,
                 y0 + h - (p.totalKg - weight.low) / weight.Span() * h);
  }
  std::fputs("\"/>\n", out);

  // Centre of pressure, seen from above: x to the right, y to the front (up).
  double cx0 = kTimePanelWidth + kMargin, cy0 = kMargin, size = kCopPanelSize;
  std::fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" font-weight=\"bold\">Centre of pressure (mm)</text>\n", cx0,
               cy0 - 15);
  std::fprintf(out, "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" stroke=\"#888\"/>\n",
               cx0, cy0, size, size);
  std::fprintf(out, "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#ddd\"/>\n", cx0 + size / 2, cy0,
               cx0 + size / 2, cy0 + size);
  std::fprintf(out, "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#ddd\"/>\n", cx0, cy0 + size / 2,
               cx0 + size, cy0 + size / 2);
  std::fprintf(out, "<text x=\"%.0f\" y=\"%.0f\">&#177;%.0f mm</text>\n", cx0, cy0 + size + 16, copExtent);
  std::fputs("<polyline fill=\"none\" stroke=\"#d62728\" stroke-width=\"0.8\" points=\"", out);
  for (const auto& p : trace) {
    if (!p.hasLoad) continue;
    std::fprintf(out, "%.1f,%.1f ", cx0 + size / 2 + p.copXmm / copExtent * size / 2,
                 cy0 + size / 2 - p.copYmm / copExtent * size / 2);
  }
  std::fputs("\"/>\n</svg>\n", out);
  return std::fclose(out) == 0;
}

}  // namespace kymhost
