// A board that replays a capture: each output report gets the answer the capture holds for it,
// every report at its recorded delay, so that a stream keeps its gaps and bursts and ends where
// the capture does. A new answer takes over from the one being played.
#include "sim/balance_board.h"

namespace sim {

void BalanceBoard::AnswerFromCaptureLocked(const uint8_t* report) {
  std::vector<CapturedReplies::Reply> replies;
  if (!capturedReplies_->Answer(report, kBoardReportLength, replies)) return;
  StopPlayingLocked();
  const uint64_t now = NowMicros();
  for (const CapturedReplies::Reply& reply : replies) playing_.push_back(DueReport{now + reply.delayMicros, reply.report});
  PlayNextLocked();
}

void BalanceBoard::PlayNextLocked() {
  if (playNext_ >= playing_.size()) return;
  auto weak = WeakSelf();
  uint64_t play = play_;
  playTimer_ = ScheduleAt(playing_[playNext_].atMicros, [weak, play] {
    if (auto self = weak.lock()) self->OnPlayTimer(play);
  });
}

void BalanceBoard::OnPlayTimer(uint64_t play) {
  std::lock_guard<std::mutex> guard(stateLock_);
  if (play != play_ || !powered_) return;
  playTimer_ = 0;
  // Reports captured together go together.
  const uint64_t now = NowMicros();
  while (playNext_ < playing_.size() && playing_[playNext_].atMicros <= now) SendLocked(*playing_[playNext_++].report);
  PlayNextLocked();
}

void BalanceBoard::StopPlayingLocked() {
  ++play_;
  if (playTimer_) CancelTimer(playTimer_);
  playTimer_ = 0;
  playing_.clear();
  playNext_ = 0;
}

}  // namespace sim
