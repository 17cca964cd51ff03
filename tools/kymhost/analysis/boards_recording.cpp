#include "analysis/boards_recording.h"

#include "measures/combined_centre.h"

namespace kymhost {

namespace {

std::vector<std::string> LabelsOf(const std::vector<BoardIdentity>& boards) {
  std::vector<std::string> labels;
  for (const BoardIdentity& board : boards) labels.push_back(board.label);
  return labels;
}

}  // namespace

BoardsRecording::BoardsRecording(double periodSeconds, std::vector<BoardIdentity> boards, double gapMm)
    : identities_(std::move(boards)),
      layout_(LayOut(LabelsOf(identities_), gapMm)),
      // With several boards each one bears a foot: its own halves say nothing of the person's sides.
      boards_(identities_.size(), Recording(periodSeconds, identities_.size() == 1)),
      combined_(periodSeconds),
      missing_(identities_.size(), 0) {}

void BoardsRecording::Add(const FrameRow& row) {
  bool whole = true;
  std::vector<PlacedLoad> loads;
  for (size_t k = 0; k < boards_.size(); ++k) {
    const BoardFrame& frame = row.board[k];
    if (frame.present) {
      boards_[k].Add(frame.kg, row.marker);
      loads.push_back({frame.kg.Total(), frame.kg.CopXmm(), frame.kg.CopYmm()});
    } else {
      // Nobody stands on a frame that did not come: it breaks the stretch, and no measure takes it.
      boards_[k].Add(SwayFrame{0, 0, 0}, SideLoads{0, 0, 0}, row.marker);
      ++missing_[k];
      whole = false;
    }
  }
  if (boards_.size() < 2) return;
  if (!whole) {
    combined_.Add(SwayFrame{0, 0, 0}, SideLoads{0, 0, 0}, row.marker);
    return;
  }
  SwayFrame frame = CombinedCentre(loads, layout_.centreXmm);
  SideLoads sides{frame.totalKg, loads[static_cast<size_t>(layout_.left)].totalKg,
                  loads[static_cast<size_t>(layout_.right)].totalKg};
  combined_.Add(frame, sides, row.marker);
}

std::string BoardName(int board, const BoardIdentity& identity) {
  std::string name = "Board " + std::to_string(board + 1);
  if (!identity.label.empty()) name += ", " + identity.label;
  return name + " (" + (identity.serial.empty() ? "no serial number" : identity.serial) + ")";
}

}  // namespace kymhost
