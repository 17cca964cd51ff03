// The end of a recording of one or more boards: the measures of the person and of each board, the
// summary printed and the files written. With one board it is the report of that board alone.
#pragma once

#include "analysis/boards_recording.h"
#include "analysis/run_report.h"

#include <string>
#include <vector>

namespace kymhost {

struct BoardsAnalysis {
  Analysis whole;               // the person: one board, or all of them together
  std::vector<Analysis> boards;  // each board's own, when there are several
  std::vector<BoardIdentity> identities;
  std::vector<long> missing;  // each board's frames that did not come
  BoardLayout layout;
  double startSpreadMs = 0;  // NaN: not known

  bool Several() const { return !boards.empty(); }
};

// Measures the part of the recording that the options choose. False, saying why, when they
// name a marker it does not have.
bool AnalyseBoards(BoardsRecording& recording, const Options& options, const std::string& label,
                   BoardsAnalysis& analysis, std::string& error);

void PrintBoardsAnalysis(const BoardsAnalysis& analysis);

// The summary as JSON: with several boards, the person's measures, how the boards stood and
// started, and each board's own measures under "boards".
std::string BoardsSummaryJson(const BoardsAnalysis& analysis);

// Writes the plot and the summary file, each when its path is not empty. False when a file could
// not be written.
bool WriteBoardsAnalysis(const BoardsAnalysis& analysis, const std::string& plotPath, const std::string& summaryPath);

}  // namespace kymhost
