#include "analysis/boards_report.h"

#include "files/fixed_format.h"
#include "files/svg_plot.h"
#include "files/sway_summary.h"
#include "files/text_file.h"

#include <cmath>
#include <cstdio>

namespace kymhost {

namespace {

constexpr int kSpreadDecimals = 3;
constexpr char kSideBySide[] = "side-by-side";

std::string Millimetres(double value) { return Plain(value) + " mm"; }

bool WriteBoardsPlot(const std::string& path, const BoardsAnalysis& analysis) {
  std::vector<PlotBoard> boards;
  for (size_t k = 0; k < analysis.boards.size(); ++k)
    boards.push_back({BoardName(static_cast<int>(k), analysis.identities[k]), analysis.boards[k].trace,
                      analysis.layout.centreXmm[k]});
  return WritePlot(path, analysis.whole.trace, analysis.whole.measures, analysis.whole.notes, boards);
}

}  // namespace

bool AnalyseBoards(BoardsRecording& recording, const Options& options, const std::string& label,
                   BoardsAnalysis& analysis, std::string& error) {
  analysis = BoardsAnalysis{};
  analysis.layout = recording.Layout();
  analysis.startSpreadMs = recording.startSpreadMs;
  if (!AnalyseRecording(recording.Whole(), options, label, analysis.whole, error)) return false;
  if (recording.Boards() < 2) return true;
  // A board under one foot stands whenever the person does and the foot bears on it, however
  // little of the weight that is.
  const std::vector<SwayFrame>& whole = recording.Whole().SwayFrames();
  double least = analysis.whole.measures.standingLeastKg;
  for (int k = 0; k < recording.Boards(); ++k) {
    const std::vector<SwayFrame>& own = recording.Board(k).SwayFrames();
    std::vector<bool> standing(own.size(), false);
    for (size_t i = 0; i < own.size() && i < whole.size(); ++i)
      standing[i] = whole[i].totalKg >= least && own[i].totalKg >= kMinimumLoadKg;
    analysis.boards.emplace_back();
    if (!AnalyseRecording(recording.Board(k), options, "", analysis.boards.back(), error, &standing)) return false;
    analysis.identities.push_back(recording.Identity(k));
    analysis.missing.push_back(recording.Missing(k));
  }
  return true;
}

void PrintBoardsAnalysis(const BoardsAnalysis& analysis) {
  if (!analysis.Several()) return PrintAnalysis(analysis.whole);
  std::printf("All %d boards together, side by side %s apart (the left foot on board %d, the right on board %d):\n",
              static_cast<int>(analysis.boards.size()), Millimetres(analysis.layout.gapMm).c_str(),
              analysis.layout.left + 1, analysis.layout.right + 1);
  PrintAnalysis(analysis.whole);
  for (size_t k = 0; k < analysis.boards.size(); ++k) {
    long missing = analysis.missing[k];
    std::printf("%s%s:\n", BoardName(static_cast<int>(k), analysis.identities[k]).c_str(),
                missing > 0 ? (", " + std::to_string(missing) + (missing == 1 ? " frame" : " frames") + " missing").c_str()
                            : "");
    PrintAnalysis(analysis.boards[k]);
  }
}

std::string BoardsSummaryJson(const BoardsAnalysis& analysis) {
  const SwayMeasures& whole = analysis.whole.measures;
  if (!analysis.Several()) return SummaryJson(whole, analysis.whole.notes);
  JsonFields fields = MeasureFields(whole);
  JsonFields notes = NoteFields(whole, analysis.whole.notes);
  fields.insert(fields.end(), notes.begin(), notes.end());
  fields.insert(fields.end(),
                {{"start_spread_ms",
                  std::isfinite(analysis.startSpreadMs) ? Fixed(analysis.startSpreadMs, kSpreadDecimals) : "null"},
                 {"layout", JsonString(kSideBySide)},
                 {"gap_mm", Plain(analysis.layout.gapMm)}});
  std::string boards = "[";
  for (size_t k = 0; k < analysis.boards.size(); ++k) {
    const BoardIdentity& identity = analysis.identities[k];
    JsonFields board = {{"label", identity.label.empty() ? "null" : JsonString(identity.label)},
                        {"serial", JsonString(identity.serial)},
                        {"missing_frames", std::to_string(analysis.missing[k])}};
    JsonFields measures = MeasureFields(analysis.boards[k].measures);
    board.insert(board.end(), measures.begin(), measures.end());
    boards += std::string(k == 0 ? "\n    " : ",\n    ") + JsonObject(board, 4);
  }
  fields.emplace_back("boards", boards + "\n  ]");
  return JsonObject(fields) + "\n";
}

bool WriteBoardsAnalysis(const BoardsAnalysis& analysis, const std::string& plotPath, const std::string& summaryPath) {
  if (!analysis.Several()) return WriteAnalysis(analysis.whole, plotPath, summaryPath);
  bool written = true;
  if (!plotPath.empty()) written = Reported(WriteBoardsPlot(plotPath, analysis), "Plot", plotPath) && written;
  if (!summaryPath.empty())
    written = Reported(WriteTextFile(summaryPath, BoardsSummaryJson(analysis)), "Summary", summaryPath) && written;
  return written;
}

}  // namespace kymhost
