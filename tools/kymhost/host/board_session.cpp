#include "host/board_session.h"

#include "analysis/boards_recording.h"
#include "host/live_readout.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace kymhost {

namespace {

using Clock = std::chrono::steady_clock;

// How long kymhost waits for each press of a button while the boards are told apart.
constexpr auto kPressLimit = std::chrono::seconds(120);
constexpr int kPressPollMs = 50;
// A button still held when the recording starts would end it at once: give the hand time to go.
constexpr auto kReleaseTime = std::chrono::milliseconds(1500);

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

std::string Quoted(const std::string& label) { return label.empty() ? std::string() : " '" + label + "'"; }

}  // namespace

bool BoardSession::Open(const std::vector<int>& indices) {
  for (int index : indices) {
    if (!plugin_.Initialise(index)) {
      std::printf("The board at index %d could not be opened: %s\n", index, HostSession(plugin_, index).DeviceMessage().c_str());
      return false;
    }
    Adopt(index);
  }
  return true;
}

void BoardSession::Adopt(int index) {
  OpenBoard board;
  board.index = index;
  board.session = std::make_unique<HostSession>(plugin_, index);
  board.identity.serial = board.session->Query(">dev/serialnum");
  boards_.push_back(std::move(board));
  sampling_.push_back(false);
}

void BoardSession::Number(const std::vector<std::string>& labels) {
  // Searches find boards in whatever order their radios sight them: the serial number does not change.
  std::stable_sort(boards_.begin(), boards_.end(),
                   [](const OpenBoard& a, const OpenBoard& b) { return a.identity.serial < b.identity.serial; });
  for (size_t k = 0; k < boards_.size() && k < labels.size(); ++k) boards_[k].identity.label = labels[k];
}

bool BoardSession::Identify(const std::atomic<bool>& interrupted) {
  std::vector<std::string> labels;
  for (const OpenBoard& board : boards_) labels.push_back(board.identity.label);
  // A press ends a board's run with the user's stop: the one way the plug-in tells the host of it.
  double spread = 0;
  if (!StartAll(spread)) return false;
  std::vector<OpenBoard> pressed;
  bool ok = true;
  for (size_t k = 0; ok && k + 1 < labels.size(); ++k) {
    std::printf("Press the button of the board that is to be board %d%s.\n", static_cast<int>(k + 1),
                Quoted(labels[k]).c_str());
    std::fflush(stdout);
    ok = false;
    for (Clock::time_point end = Clock::now() + kPressLimit; !ok && Clock::now() < end && !interrupted.load();) {
      for (size_t b = 0; b < boards_.size() && !ok; ++b) {
        StreamEvent event = boards_[b].session->ReadStream(kPressPollMs / static_cast<int>(boards_.size()) + 1);
        if (event.kind == StreamEvent::kAbort && event.reason == StreamEvent::kUserStop) {
          boards_[b].session->DeviceMessage();  // the stop's message, read so that it does not linger
          boards_[b].identity.label = labels[k];
          std::printf("  that is the board with serial number %s\n", boards_[b].identity.serial.c_str());
          pressed.push_back(std::move(boards_[b]));
          boards_.erase(boards_.begin() + static_cast<std::ptrdiff_t>(b));
          sampling_.erase(sampling_.begin() + static_cast<std::ptrdiff_t>(b));
          ok = true;
        } else if (event.kind == StreamEvent::kAbort || event.kind == StreamEvent::kDisconnected) {
          std::printf("%s: the board stopped while it waited for a press: %s\n",
                      BoardName(static_cast<int>(b), boards_[b].identity).c_str(), event.text.c_str());
          return false;
        }
      }
    }
    if (!ok && !interrupted.load())
      std::printf("No button was pressed within %d s: nothing recorded.\n",
                  static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(kPressLimit).count()));
  }
  StopAll();
  if (!ok) return false;
  boards_.front().identity.label = labels.back();
  pressed.push_back(std::move(boards_.front()));
  boards_ = std::move(pressed);
  sampling_.assign(boards_.size(), false);
  std::this_thread::sleep_for(kReleaseTime);
  return !interrupted.load();
}

bool BoardSession::StartAll(double& spreadMs) {
  for (OpenBoard& board : boards_) plugin_.FlushReadBuffer(board.index);  // nothing left over from before
  Clock::time_point first{}, last{};
  for (size_t k = 0; k < boards_.size(); ++k) {
    Clock::time_point before = Clock::now();
    bool started = boards_[k].session->Action(">in/sampler/start");
    Clock::time_point at = before + (Clock::now() - before) / 2;  // the start lies inside the command
    if (!started) {
      std::fprintf(stderr, "kymhost: %sthe board did not start sampling\n", Prefix(static_cast<int>(k)).c_str());
      StopAll();
      return false;
    }
    sampling_[k] = true;
    if (k == 0) first = at;
    last = at;
  }
  spreadMs = Milliseconds(last - first);
  return true;
}

void BoardSession::StopAll() {
  for (size_t k = 0; k < boards_.size(); ++k) {
    if (!sampling_[k]) continue;
    boards_[k].session->Action(">in/sampler/stop");
    sampling_[k] = false;
  }
}

std::vector<BoardIdentity> BoardSession::Identities() const {
  std::vector<BoardIdentity> identities;
  for (const OpenBoard& board : boards_) identities.push_back(board.identity);
  return identities;
}

std::string BoardSession::Prefix(int board) const {
  if (boards_.size() < 2) return {};
  return BoardName(board, boards_[static_cast<size_t>(board)].identity) + ": ";
}

}  // namespace kymhost
