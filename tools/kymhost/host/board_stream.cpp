#include "host/board_stream.h"

#include "command_line.h"
#include "files/csv_writer.h"
#include "files/fixed_format.h"
#include "host/row_aligner.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace kymhost {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadTimeoutMs = 100;  // how often the loop looks at Ctrl-C and the time
// A board that sends nothing for this long while sampling has gone, whatever the plug-in says.
constexpr auto kSilenceLimit = std::chrono::seconds(5);
// After a run ends the plug-in still hands over the frames it holds, then says so.
constexpr auto kDrainLimit = std::chrono::seconds(2);
// Frames waiting in the plug-in beyond this mean kymhost is not keeping up (its ring holds ~80 s).
constexpr int kBehindFrames = 500;

// One board's stream: taking frames, then handing over what the plug-in still holds, then over.
struct Board {
  enum State { kStreaming, kDraining, kOver } state = kStreaming;
  Clock::time_point lastData = Clock::now();
  Clock::time_point drainUntil = Clock::time_point::max();
  std::string lostMessage;  // the plug-in's own message of a lost connection, with its code
  bool lost = false;        // drained until the plug-in says the board is gone
  bool behind = false;
};

class Run {
 public:
  Run(StreamParts parts, long wanted) : p_(parts), wanted_(wanted), aligner_(parts.boards.Count()),
        boards_(static_cast<size_t>(parts.boards.Count())) {}

  int Go(const std::atomic<bool>& interrupted) {
    while (!Over()) {
      if (interrupted.load() && !ending_) EndForAll();
      for (int k = 0; k < p_.boards.Count(); ++k) Read(k);
      Emit(ending_ && AllOver());
      p_.readout.Update(Clock::now());
    }
    p_.readout.Finish();
    for (int marker : markers_) kymhost::Say(p_.watcher, "Marker %d came after the last frame and is not kept.\n", marker);
    return result_;
  }

 private:
  bool Full() const { return wanted_ >= 0 && p_.recording.Frames() >= wanted_; }
  bool Over() const { return Full() || (ending_ && AllOver()); }
  bool AllOver() const {
    for (const Board& board : boards_)
      if (board.state != Board::kOver) return false;
    return true;
  }

  // The run ends for every board: each hands over what it still holds.
  void EndForAll() {
    ending_ = true;
    p_.boards.StopAll();
    Clock::time_point until = Clock::now() + kDrainLimit;
    for (Board& board : boards_) {
      if (board.state != Board::kStreaming) continue;
      board.state = Board::kDraining;
      board.drainUntil = until;
    }
  }

  void Over(int k) {
    boards_[static_cast<size_t>(k)].state = Board::kOver;
    aligner_.End(k);
  }

  // The plug-in's end of a board's run, on a line of its own and to the listeners.
  void Say(int k, const std::string& text) {
    p_.readout.Finish();
    std::string line = p_.boards.Prefix(k) + text;
    std::printf("%s\n", line.c_str());
    p_.listeners.Message(p_.recording.Seconds(), line);
  }

  void Result(int code) {
    if (result_ == kExitOk) result_ = code;
  }

  void Read(int k) {
    Board& board = boards_[static_cast<size_t>(k)];
    if (board.state == Board::kOver) return;
    OpenBoard& open = p_.boards.Board(k);
    HostSession& session = *open.session;
    // A lost board's message names the failure's code, and the plug-in replaces it with the
    // time-out text as it delivers the abort: read it while it is there.
    if (board.lostMessage.empty() && p_.plugin.GetLastErrorMsg(open.index, nullptr) > 1)
      board.lostMessage = session.DeviceMessage();
    StreamEvent event = session.ReadStream(kReadTimeoutMs / p_.boards.Count());
    Clock::time_point now = Clock::now();
    switch (event.kind) {
      case StreamEvent::kFrames:
        for (const FrameKg& frame : event.frames) aligner_.Add(k, CsvWriter::AsWritten(frame));
        board.lastData = now;
        if (!board.behind && p_.plugin.ReadBuffSize(open.index) > kBehindFrames * kChannels) {
          board.behind = true;
          p_.readout.Finish();
          std::fprintf(stderr, "kymhost: %sfalling behind the board; frames may be lost\n", p_.boards.Prefix(k).c_str());
        }
        break;
      case StreamEvent::kAbort: {
        p_.boards.Stopped(k);
        std::string message = session.DeviceMessage();
        Say(k, "The run was stopped: " + (message.empty() ? event.text : message));
        if (event.reason == StreamEvent::kBatteries) Result(kExitBatteries);
        if (event.reason == StreamEvent::kTimedOut) Result(kExitDisconnected);
        board.lost = event.reason == StreamEvent::kTimedOut;
        board.state = Board::kDraining;  // the frames that came before the end are kept
        board.drainUntil = now + kDrainLimit;
        if (!ending_) EndForAll();
        break;
      }
      case StreamEvent::kDisconnected: {
        std::string message = board.lostMessage.empty() ? session.DeviceMessage() : board.lostMessage;
        Say(k, "The board was disconnected" + (message.empty() ? std::string(".") : ": " + message));
        Result(kExitDisconnected);
        Over(k);
        if (!ending_) EndForAll();
        break;
      }
      case StreamEvent::kOther:
        break;
      case StreamEvent::kNothing:
        if (board.state == Board::kDraining && !board.lost) {
          Over(k);  // it holds no more
        } else if (board.state == Board::kStreaming && (p_.plugin.IsFailed(open.index) || now - board.lastData > kSilenceLimit)) {
          std::string message = board.lostMessage.empty() ? session.DeviceMessage() : board.lostMessage;
          Say(k, "The board stopped sending data" + (message.empty() ? std::string(".") : ": " + message));
          Result(kExitDisconnected);
          Over(k);
          EndForAll();
        }
        break;
    }
    if (board.state == Board::kDraining && now >= board.drainUntil) Over(k);
  }

  // Hands every row that is due to the recording and the listeners.
  void Emit(bool flush) {
    int asked = p_.keys.Take() + (p_.watcher ? p_.watcher->TakeMarkers() : 0);
    for (; asked > 0; --asked) markers_.push_back(nextMarker_++);
    FrameRow row;
    while (!Full() && aligner_.Next(row, flush)) {
      row.number = p_.recording.Frames();
      row.seconds = p_.recording.Seconds();
      row.hostSeconds = p_.hostStartSeconds + row.seconds;
      row.marker = 0;
      if (!markers_.empty()) {
        row.marker = markers_.front();
        markers_.pop_front();
        std::string note = "Marker " + std::to_string(row.marker) + " at " + Fixed(row.seconds, kSecondsDecimals) + " s";
        p_.readout.Note(note);
        p_.listeners.Message(row.seconds, note);
      }
      p_.recording.Add(row);
      p_.listeners.Frame(row);
    }
  }

  StreamParts p_;
  long wanted_;
  RowAligner aligner_;
  std::vector<Board> boards_;
  std::deque<int> markers_;
  int nextMarker_ = 1;
  bool ending_ = false;
  int result_ = kExitOk;
};

}  // namespace

int StreamBoards(StreamParts parts, long wanted, const std::atomic<bool>& interrupted) {
  return Run(parts, wanted).Go(interrupted);
}

}  // namespace kymhost
