// The picture balance researchers look at: weight over time beside the sway of the centre of
// pressure with its 95 % ellipse, the spectra of the sway under them, and the measures at the
// foot, in one self-contained SVG file.
#include "files/svg_plot.h"

#include "files/fixed_format.h"
#include "measures/board_layout.h"
#include "measures/math_constants.h"
#include "measures/prediction_ellipse.h"
#include "files/plot_axis.h"
#include "files/sway_summary.h"
#include "files/text_file.h"

#include <algorithm>
#include <cmath>

namespace kymhost {

namespace {

constexpr double kWidth = 1000;
constexpr double kTop = 50, kPanelHeight = 320;
constexpr double kTimeLeft = 60, kTimeWidth = 520;
constexpr double kCopLeft = 650, kCopSize = kPanelHeight;  // square: one millimetre scale both ways
constexpr double kTitleRise = 12, kTickLength = 4, kTickLabelGap = 6, kTickLabelDrop = 16, kAxisTitleDrop = 34;
constexpr double kHalfTextHeight = 4;  // lowers a label to centre it on its tick
constexpr double kAxisTitleGap = 40;  // left of the panel, beside the tick labels
constexpr double kLegendSwatch = 20, kLegendRise = 4;
constexpr double kMeasuresGap = 70, kLineHeight = 17;
constexpr double kSpectrumTop = kTop + kPanelHeight + kMeasuresGap, kSpectrumHeight = 220;
constexpr double kSpectrumTopHz = 5;  // sway lies well below it
constexpr double kSpectrumPad = 1.1;
constexpr int kSpectrumTicks = 5;
constexpr double kMeanLabelRoom = 110;  // pixels for "mean x 0.00 Hz"
constexpr double kLegendGapLines = 5;  // the spectrum's legend, below the centre of pressure's
constexpr double kBottomMargin = 20;
constexpr int kMostTicks = 8;
constexpr double kWeightPad = 0.1;        // a tenth of the range above and below the curve
constexpr double kLeastWeightSpanKg = 5;  // a steady weight draws as a steady line, not as noise
constexpr double kCopLeastExtentMm = 20;  // the centre-of-pressure panel shows at least this each way
constexpr double kCopPad = 1.1;
constexpr double kCentreMarkRadius = 5;  // pixels: a mark, not a distance on the board
constexpr double kDegreesPerRadian = 180 / kPi;

const char kTraceColour[] = "#1f77b4";
// One colour a board, apart from the whole's blue and red.
const char* const kBoardColours[] = {"#2ca02c", "#9467bd", "#8c564b", "#e377c2"};
constexpr int kBoardColourCount = sizeof kBoardColours / sizeof kBoardColours[0];
const char kSpectrumXColour[] = "#1f77b4";
const char kSpectrumYColour[] = "#ff7f0e";
const char kCopColour[] = "#d62728";
const char kGridColour[] = "#e4e4e4";
const char kFaintColour[] = "#bbb";
const char kAxisColour[] = "#666";

struct Range {
  double low, high;
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

// A character of the trial's own text, such as its label, as XML text.
std::string Escaped(char c) {
  switch (c) {
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '&': return "&amp;";
    default: return std::string(1, static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
  }
}

std::string Text(double x, double y, const std::string& text, const char* anchor = "start", const char* extra = "") {
  return "<text x=\"" + N(x) + "\" y=\"" + N(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" + text +
         "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const char* stroke, const char* extra = "") {
  return "<line x1=\"" + N(x1) + "\" y1=\"" + N(y1) + "\" x2=\"" + N(x2) + "\" y2=\"" + N(y2) + "\" stroke=\"" +
         stroke + "\"" + extra + "/>\n";
}

std::string Frame(double x, double y, double w, double h) {
  return "<rect x=\"" + N(x) + "\" y=\"" + N(y) + "\" width=\"" + N(w) + "\" height=\"" + N(h) +
         "\" fill=\"none\" stroke=\"" + kAxisColour + "\"/>\n";
}

// Where a panel sits on the page and what its axes show.
struct Panel {
  double left, top, width, height;
  PlotAxis x, y;

  double X(double value) const { return left + (value - x.low) / x.Span() * width; }
  double Y(double value) const { return top + height - (value - y.low) / y.Span() * height; }

  // Light grid lines and labelled ticks at every round value, the frame over them.
  std::string Axes(const std::string& title, const std::string& xTitle, const std::string& yTitle,
                   const char* clipId) const {
    std::string svg = "<clipPath id=\"" + std::string(clipId) + "\"><rect x=\"" + N(left) + "\" y=\"" + N(top) +
                      "\" width=\"" + N(width) + "\" height=\"" + N(height) + "\"/></clipPath>\n";
    for (double tick : x.Ticks()) {
      double at = X(tick);
      svg += Line(at, top, at, top + height, kGridColour);
      svg += Line(at, top + height, at, top + height + kTickLength, kAxisColour);
      svg += Text(at, top + height + kTickLabelDrop, x.Label(tick), "middle");
    }
    for (double tick : y.Ticks()) {
      double at = Y(tick);
      svg += Line(left, at, left + width, at, kGridColour);
      svg += Line(left - kTickLength, at, left, at, kAxisColour);
      svg += Text(left - kTickLabelGap, at + kHalfTextHeight, y.Label(tick), "end");
    }
    svg += Frame(left, top, width, height);
    svg += Text(left + width / 2, top + height + kAxisTitleDrop, xTitle, "middle");
    double yTitleX = left - kAxisTitleGap, yTitleY = top + height / 2;
    svg += Text(yTitleX, yTitleY, yTitle, "middle",
                (" transform=\"rotate(-90 " + N(yTitleX) + " " + N(yTitleY) + ")\"").c_str());
    svg += Text(left, top - kTitleRise, title, "start", " font-weight=\"bold\" font-size=\"14\"");
    return svg;
  }
};

const char* BoardColour(size_t board) { return kBoardColours[board % kBoardColourCount]; }

std::string WeightLine(const Panel& panel, const std::vector<TracePoint>& trace, const char* colour, const char* width) {
  std::string svg = "<polyline clip-path=\"url(#weight-area)\" fill=\"none\" stroke=\"" + std::string(colour) +
                    "\" stroke-width=\"" + width + "\" points=\"";
  for (const auto& p : trace) svg += N(panel.X(p.seconds)) + "," + N(panel.Y(p.totalKg)) + " ";
  return svg + "\"/>\n";
}

// Which line is which board's, in the weight panel's top corner.
std::string BoardLegend(const Panel& panel, const std::vector<PlotBoard>& boards) {
  double x = panel.left + kTickLabelGap, y = panel.top + kTickLabelDrop;
  std::string svg = Text(x, y, "all boards", "start", (" fill=\"" + std::string(kTraceColour) + "\"").c_str());
  for (size_t k = 0; k < boards.size(); ++k) {
    y += kLineHeight;
    svg += Text(x, y, boards[k].name, "start", (" fill=\"" + std::string(BoardColour(k)) + "\"").c_str());
  }
  return svg;
}

std::string WeightPanel(const std::vector<TracePoint>& trace, const SwayMeasures& measures,
                        const std::vector<PlotBoard>& boards) {
  double lo = 0, hi = 1, end = 1;
  if (!trace.empty()) {
    lo = hi = trace.front().totalKg;
    for (const auto& p : trace) {
      lo = std::min(lo, p.totalKg);
      hi = std::max(hi, p.totalKg);
    }
    for (const PlotBoard& board : boards)
      for (const auto& p : board.trace) lo = std::min(lo, p.totalKg);
    end = std::max(trace.back().seconds, trace.front().seconds + kFramePeriodSeconds);
  }
  Range weight = Around(lo, hi, kWeightPad, kLeastWeightSpanKg);
  Panel panel{kTimeLeft, kTop, kTimeWidth, kPanelHeight, RoundAxis(trace.empty() ? 0 : trace.front().seconds, end, kMostTicks),
              RoundAxis(weight.low, weight.high, kMostTicks)};
  std::string svg = panel.Axes("Total weight", "time (s)", "weight (kg)", "weight-area");
  // Frames at or above this total are the standing frames the measures are taken over.
  double least = measures.standingLeastKg;
  if (least > panel.y.low && least < panel.y.high) {
    svg += Line(panel.left, panel.Y(least), panel.left + panel.width, panel.Y(least), kFaintColour,
                " stroke-dasharray=\"5,4\"");
    svg += Text(panel.left + panel.width - kTickLabelGap, panel.Y(least) - kTickLabelGap,
                "standing from " + Fixed(least, 1) + " kg", "end", " fill=\"#888\" font-size=\"11\"");
  }
  for (size_t k = 0; k < boards.size(); ++k) svg += WeightLine(panel, boards[k].trace, BoardColour(k), "0.8");
  svg += WeightLine(panel, trace, kTraceColour, "1.2");
  if (!boards.empty()) svg += BoardLegend(panel, boards);
  return svg;
}

PredictionEllipse EllipseOf(const SwayMeasures& m) {
  return PredictionEllipse::Of(m.rmsXmm * m.rmsXmm, m.rmsYmm * m.rmsYmm, m.covarianceXY);
}

std::string CentreMark(double cx, double cy) {
  double r = kCentreMarkRadius;
  return "<circle cx=\"" + N(cx) + "\" cy=\"" + N(cy) + "\" r=\"" + N(r) + "\" fill=\"none\" stroke=\"black\"/>\n" +
         Line(cx - 2 * r, cy, cx + 2 * r, cy, "black") + Line(cx, cy - 2 * r, cx, cy + 2 * r, "black");
}

// What the marks of the centre-of-pressure panel are, under it.
std::string Legend(double left, double top, bool boards) {
  double swatch = left + kLegendSwatch, label = left + 2 * kLegendSwatch + kTickLabelGap;
  double y = top - kLegendRise;
  std::string svg = Line(left, y, swatch, y, kCopColour, " stroke-width=\"2\"") + Text(label, top, "trace while standing");
  y += kLineHeight;
  svg += Line(left, y, swatch, y, kFaintColour, " stroke-width=\"2\"") +
         Text(label, top + kLineHeight, "trace while stepping on or off");
  y += kLineHeight;
  svg += "<ellipse cx=\"" + N(left + kLegendSwatch / 2) + "\" cy=\"" + N(y) + "\" rx=\"" + N(kLegendSwatch / 2) +
         "\" ry=\"" + N(kLegendRise) + "\" fill=\"none\" stroke=\"black\" stroke-width=\"1.5\"/>\n" +
         Text(label, top + 2 * kLineHeight, "95 % prediction ellipse of the standing frames");
  y += kLineHeight;
  svg += CentreMark(left + kLegendSwatch / 2, y) +
         Text(label, top + 3 * kLineHeight, boards ? "the middle of the boards, their outlines dashed" : "the board's centre");
  return svg;
}

// Each board's outline and its own trace while it carries weight, drawn where it stands.
std::string BoardTraces(const Panel& panel, const std::vector<PlotBoard>& boards) {
  double scale = panel.width / panel.x.Span();
  std::string svg;
  for (size_t k = 0; k < boards.size(); ++k) {
    const PlotBoard& board = boards[k];
    svg += "<rect clip-path=\"url(#cop-area)\" x=\"" + N(panel.X(board.centreXmm - kBoardWidthMm / 2)) + "\" y=\"" +
           N(panel.Y(kBoardDepthMm / 2)) + "\" width=\"" + N(kBoardWidthMm * scale) + "\" height=\"" +
           N(kBoardDepthMm * scale) + "\" fill=\"none\" stroke=\"" + BoardColour(k) + "\" stroke-dasharray=\"6,4\"/>\n";
    std::string path;
    const TracePoint* previous = nullptr;
    for (const auto& p : board.trace) {
      if (p.hasLoad)
        path += (previous && previous->hasLoad ? "L" : "M") + N(panel.X(board.centreXmm + p.copXmm)) + "," +
                N(panel.Y(p.copYmm)) + " ";
      previous = &p;
    }
    svg += "<path clip-path=\"url(#cop-area)\" fill=\"none\" stroke=\"" + std::string(BoardColour(k)) +
           "\" stroke-width=\"0.8\" d=\"" + path + "\"/>\n";
  }
  return svg;
}

std::string CopPanel(const std::vector<TracePoint>& trace, const SwayMeasures& measures,
                     const std::vector<PlotBoard>& boards) {
  auto standing = [&](const TracePoint& p) { return p.hasLoad && p.totalKg >= measures.standingLeastKg; };
  double extent = kCopLeastExtentMm;
  for (const auto& p : trace)
    if (standing(p)) extent = std::max({extent, std::fabs(p.copXmm), std::fabs(p.copYmm)});
  for (const PlotBoard& board : boards) extent = std::max(extent, std::fabs(board.centreXmm) + kBoardWidthMm / 2);
  PredictionEllipse ellipse = EllipseOf(measures);
  if (measures.HasStanding())
    extent = std::max({extent, std::fabs(measures.meanXmm) + ellipse.semiMajor,
                       std::fabs(measures.meanYmm) + ellipse.semiMajor});
  PlotAxis axis = RoundAxis(-extent * kCopPad, extent * kCopPad, kMostTicks);
  double reach = std::max(-axis.low, axis.high);  // symmetric, so the board's centre is the panel's
  axis.low = -reach;
  axis.high = reach;
  Panel panel{kCopLeft, kTop, kCopSize, kCopSize, axis, axis};
  std::string svg = panel.Axes(boards.empty() ? "Centre of pressure, seen from above"
                                              : "Centre of pressure, all boards",
                               "x, to the right (mm)", "y, to the front (mm)", "cop-area");
  svg += BoardTraces(panel, boards);

  // One stroke for each stretch of standing frames, faint ones for stepping on and off: no
  // jump across the time the board was empty.
  const std::string strong = "<path clip-path=\"url(#cop-area)\" fill=\"none\" stroke=\"" + std::string(kCopColour) +
                             "\" stroke-width=\"0.8\" d=\"";
  const std::string faint = "<path clip-path=\"url(#cop-area)\" fill=\"none\" stroke=\"" + std::string(kFaintColour) +
                            "\" stroke-width=\"0.6\" d=\"";
  std::string standingPath, otherPath;
  const TracePoint* previous = nullptr;
  for (const auto& p : trace) {
    if (p.hasLoad) {
      bool isStanding = standing(p);
      std::string& path = isStanding ? standingPath : otherPath;
      bool continues = previous && previous->hasLoad && standing(*previous) == isStanding;
      path += (continues ? "L" : "M") + N(panel.X(p.copXmm)) + "," + N(panel.Y(p.copYmm)) + " ";
    }
    previous = &p;
  }
  svg += faint + otherPath + "\"/>\n" + strong + standingPath + "\"/>\n";

  if (measures.HasStanding()) {
    double scale = panel.width / axis.Span();  // pixels per millimetre, both ways
    double ex = panel.X(measures.meanXmm), ey = panel.Y(measures.meanYmm);
    svg += "<ellipse cx=\"" + N(ex) + "\" cy=\"" + N(ey) + "\" rx=\"" + N(ellipse.semiMajor * scale) + "\" ry=\"" +
           N(ellipse.semiMinor * scale) + "\" transform=\"rotate(" + N(-ellipse.angle * kDegreesPerRadian) + " " +
           N(ex) + " " + N(ey) + ")\" fill=\"" + kCopColour + "\" fill-opacity=\"0.08\" stroke=\"black\"" +
           " stroke-width=\"1.5\"/>\n";
  }
  // The board's centre.
  svg += CentreMark(panel.X(0), panel.Y(0));
  svg += Legend(panel.left, kSpectrumTop + kLineHeight, !boards.empty());  // beside the spectrum, clear of its title
  return svg;
}

std::string SpectrumLegend(double left, double top) {
  double swatch = left + kLegendSwatch, label = left + 2 * kLegendSwatch + kTickLabelGap;
  double y = top - kLegendRise;
  std::string svg = Line(left, y, swatch, y, kSpectrumXColour, " stroke-width=\"2\"") +
                    Text(label, top, "spectrum of x, left to right");
  y += kLineHeight;
  svg += Line(left, y, swatch, y, kSpectrumYColour, " stroke-width=\"2\"") +
         Text(label, top + kLineHeight, "spectrum of y, front to back");
  y += kLineHeight;
  svg += Line(left, y, swatch, y, kAxisColour, " stroke-dasharray=\"4,3\"") +
         Text(label, top + 2 * kLineHeight, "mean frequency of each");
  return svg;
}

// The power spectral densities of both axes up to 5 Hz, each mean frequency marked.
std::string SpectrumPanel(const SwayMeasures& measures) {
  const Spectrum &x = measures.spectrumX, &y = measures.spectrumY;
  size_t shown = measures.HasSpectrum()
                     ? std::min(x.density.size(), static_cast<size_t>(kSpectrumTopHz / x.stepHz) + 1)
                     : 0;
  double highest = 0;
  for (size_t k = 0; k < shown; ++k) highest = std::max({highest, x.density[k], y.density[k]});
  Panel panel{kTimeLeft, kSpectrumTop, kTimeWidth, kSpectrumHeight, RoundAxis(0, kSpectrumTopHz, kMostTicks),
              RoundAxis(0, highest > 0 ? highest * kSpectrumPad : 1, kSpectrumTicks)};
  std::string svg = panel.Axes("Spectrum of the centre of pressure (Welch)", "frequency (Hz)", "power (mm&#178;/Hz)",
                               "spectrum-area");
  svg += SpectrumLegend(kCopLeft, kSpectrumTop + (kLegendGapLines + 1) * kLineHeight);
  if (!measures.HasSpectrum())
    return svg + Text(panel.left + panel.width / 2, panel.top + panel.height / 2,
                      "no unbroken standing stretch of " + Plain(kLeastSpectrumSeconds) + " s", "middle",
                      " fill=\"#888\"");
  struct Axis {
    const Spectrum& spectrum;
    double meanHz;
    const char* colour;
    const char* name;
  };
  const Axis axes[] = {{x, measures.frequencyX.meanHz, kSpectrumXColour, "x"},
                       {y, measures.frequencyY.meanHz, kSpectrumYColour, "y"}};
  // The labels side by side, clear of both lines: right of them, or left where the panel ends.
  double leftmost = panel.left + panel.width, rightmost = panel.left;
  for (const Axis& axis : axes) {
    if (!std::isfinite(axis.meanHz)) continue;
    double at = panel.X(std::min(axis.meanHz, kSpectrumTopHz));
    leftmost = std::min(leftmost, at);
    rightmost = std::max(rightmost, at);
  }
  bool right = rightmost + kMeanLabelRoom < panel.left + panel.width;
  double labelX = right ? rightmost + kTickLabelGap : leftmost - kTickLabelGap;
  double labelY = panel.top + kTickLabelDrop;
  for (const Axis& axis : axes) {
    svg += "<polyline clip-path=\"url(#spectrum-area)\" fill=\"none\" stroke=\"" + std::string(axis.colour) +
           "\" stroke-width=\"1.5\" points=\"";
    for (size_t k = 0; k < shown; ++k)
      svg += N(panel.X(static_cast<double>(k) * axis.spectrum.stepHz)) + "," + N(panel.Y(axis.spectrum.density[k])) + " ";
    svg += "\"/>\n";
    if (!std::isfinite(axis.meanHz)) continue;
    double at = panel.X(std::min(axis.meanHz, kSpectrumTopHz));
    svg += Line(at, panel.top, at, panel.top + panel.height, axis.colour, " stroke-dasharray=\"4,3\"");
    svg += Text(labelX, labelY, "mean " + std::string(axis.name) + " " + Fixed(axis.meanHz, kShownHzDecimals) + " Hz",
                right ? "start" : "end", (" fill=\"" + std::string(axis.colour) + "\"").c_str());
    labelY += kLineHeight;
  }
  return svg;
}

// The printed summary, with its squared millimetres set properly.
std::string MeasuresText(const SwayMeasures& measures, const TrialNotes& notes, double top) {
  std::string svg = "<g font-family=\"monospace\" font-size=\"12\" xml:space=\"preserve\">\n";
  double y = top;
  for (const std::string& line : SummaryLines(measures, notes)) {
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line.compare(i, 2, "^2") == 0) {
        text += "&#178;";
        ++i;
      } else {
        text += Escaped(line[i]);
      }
    }
    // Headings and notes start at the margin, measures under them are indented.
    svg += Text(kTimeLeft, y, text, "start", line[0] != ' ' ? " font-weight=\"bold\"" : "");
    y += kLineHeight;
  }
  return svg + "</g>\n";
}

}  // namespace

bool WritePlot(const std::string& path, const std::vector<TracePoint>& trace, const SwayMeasures& measures,
               const TrialNotes& notes, const std::vector<PlotBoard>& boards) {
  double measuresTop = kSpectrumTop + kSpectrumHeight + kMeasuresGap;
  double lines = static_cast<double>(SummaryLines(measures, notes).size());
  double height = measuresTop + kLineHeight * lines + kBottomMargin;
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    N(kWidth) + "\" height=\"" + N(height) + "\" viewBox=\"0 0 " + N(kWidth) + " " + N(height) +
                    "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "<title>Wii Balance Board recording</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += WeightPanel(trace, measures, boards);
  svg += CopPanel(trace, measures, boards);
  svg += SpectrumPanel(measures);
  svg += MeasuresText(measures, notes, measuresTop);
  svg += "</svg>\n";
  return WriteTextFile(path, svg);
}

}  // namespace kymhost
