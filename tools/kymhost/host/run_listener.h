// What a run hands to whoever listens to it (the CSV, the other files, the live view): its start,
// each frame row as it is recorded, the messages kymhost says about it, and its end. Every call
// comes from the recording loop, which never waits on a listener: one that falls behind loses
// its own updates, never the recording's frames.
#pragma once

#include "measures/board_geometry.h"

#include <array>
#include <ctime>
#include <string>
#include <vector>

namespace kymhost {

// kymhost records at most this many boards at once.
constexpr int kMostBoards = 4;

// What kymhost learnt of a board's batteries before the run: the board only says "weak".
enum class BatteryState { kNotChecked, kFine, kWeak };

struct BoardIdentity {
  std::string label;   // the name the user gave it, or empty
  std::string serial;  // the plug-in's serial number of the board
  std::string type;     // what the board says it is
  std::string version;  // the board's version, as the plug-in gives it
  BatteryState battery = BatteryState::kNotChecked;
};

struct RunStart {
  double periodSeconds = 0;  // one row every period
  std::string label;         // the trial's name; empty: none
  std::vector<BoardIdentity> boards;
  double startSpreadMs = 0;      // how far apart, in host time, the boards' runs started
  double gapMm = 0;              // the gap between the edges of boards side by side
  std::time_t wallClock = 0;     // when the run started, for the files' headers
  double hostClockSeconds = 0;   // the host's steady clock at the run's start
};

// One board's part of a row: a board whose frame did not come has none, never a stale one.
struct BoardFrame {
  bool present = false;
  FrameKg kg{};
};

struct FrameRow {
  long number = 0;      // rows since the start, one a period
  double seconds = 0;   // number × period
  double hostSeconds = 0;  // the host's steady clock at the row's time: the start of sampling plus seconds
  int boards = 1;       // how many of board[] the run has
  std::array<BoardFrame, kMostBoards> board{};
  int marker = 0;       // the marker set on this row; 0: none
};

class RunListener {
 public:
  virtual ~RunListener() = default;
  // False, having said why, when the listener cannot work (a file that cannot be made): the run
  // does not start.
  virtual bool Start(const RunStart& start) = 0;
  virtual void Frame(const FrameRow& row) = 0;
  // A line kymhost said about the run (a marker, the button, weak batteries, a lost board), at
  // that many seconds into it.
  virtual void Message(double seconds, const std::string& text) {
    static_cast<void>(seconds);
    static_cast<void>(text);
  }
  // The run is over: the listener finishes and says what it wrote. False when it could not.
  virtual bool Finish() { return true; }
};

}  // namespace kymhost
