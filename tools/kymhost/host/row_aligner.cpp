#include "host/row_aligner.h"

namespace kymhost {

bool RowAligner::Next(FrameRow& row, bool flush) {
  bool any = false;
  for (size_t k = 0; k < pending_.size(); ++k) {
    if (!pending_[k].empty()) any = true;
    else if (!ended_[k] && !flush) return false;
  }
  if (!any) return false;
  row.boards = static_cast<int>(pending_.size());
  for (size_t k = 0; k < pending_.size(); ++k) {
    BoardFrame& part = row.board[k];
    part.present = !pending_[k].empty();
    part.kg = part.present ? pending_[k].front() : FrameKg{};
    if (part.present) pending_[k].pop_front();
  }
  return true;
}

}  // namespace kymhost
