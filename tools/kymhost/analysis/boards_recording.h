// A recording of one or more boards on one timeline: each board's own recording, and for
// several boards the recording of all of them together as they stand side by side.
#pragma once

#include "analysis/recording.h"
#include "host/run_listener.h"
#include "measures/board_layout.h"

#include <cmath>
#include <string>
#include <vector>

namespace kymhost {

class BoardsRecording {
 public:
  BoardsRecording(double periodSeconds, std::vector<BoardIdentity> boards, double gapMm);

  void Add(const FrameRow& row);

  int Boards() const { return static_cast<int>(boards_.size()); }
  const BoardIdentity& Identity(int board) const { return identities_[static_cast<size_t>(board)]; }
  const Recording& Board(int board) const { return boards_[static_cast<size_t>(board)]; }
  Recording& Board(int board) { return boards_[static_cast<size_t>(board)]; }
  // The person: one board's recording, or that of every board together.
  const Recording& Whole() const { return Boards() == 1 ? boards_.front() : combined_; }
  Recording& Whole() { return Boards() == 1 ? boards_.front() : combined_; }
  long Missing(int board) const { return missing_[static_cast<size_t>(board)]; }
  const BoardLayout& Layout() const { return layout_; }
  long Frames() const { return Whole().Frames(); }
  double Seconds() const { return Whole().Seconds(); }

  // How far apart, in host time, the boards' runs started; NaN when not known.
  double startSpreadMs = std::nan("");

 private:
  std::vector<BoardIdentity> identities_;
  BoardLayout layout_;
  std::vector<Recording> boards_;
  Recording combined_;
  std::vector<long> missing_;
};

// "Board 2, right (0019fd001122)": how kymhost names a board of several.
std::string BoardName(int board, const BoardIdentity& identity);

}  // namespace kymhost
