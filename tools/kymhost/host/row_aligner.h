// One timeline for several boards: the plug-in paces each board's frames at exactly one a period
// from that board's start, and the starts lie within a millisecond or so, so the k-th frame of
// every board belongs in the k-th row. Frames wait here until every board still streaming has
// sent its own; a board that has ended leaves its cells empty, and never moves another's.
#pragma once

#include "host/run_listener.h"

#include <deque>
#include <vector>

namespace kymhost {

class RowAligner {
 public:
  explicit RowAligner(int boards) : pending_(static_cast<size_t>(boards)), ended_(static_cast<size_t>(boards), false) {}

  void Add(int board, const FrameKg& frame) { pending_[static_cast<size_t>(board)].push_back(frame); }
  // No more frames come from the board.
  void End(int board) { ended_[static_cast<size_t>(board)] = true; }
  bool Ended(int board) const { return ended_[static_cast<size_t>(board)]; }

  // The boards' parts of the next row, once every board still streaming has its frame; with
  // flush, as soon as any board has one. False when no row is due.
  bool Next(FrameRow& row, bool flush);

 private:
  std::vector<std::deque<FrameKg>> pending_;
  std::vector<bool> ended_;
};

}  // namespace kymhost
