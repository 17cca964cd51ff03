// The live one-line readout of a run: rewritten in place on a terminal, a line a second
// otherwise, with kymhost's messages on lines of their own between readouts.
#pragma once

#include "host/run_listener.h"
#include "measures/board_layout.h"

#include <chrono>
#include <string>

namespace kymhost {

// Whether the live readout goes to a terminal, rewritten in place.
bool Interactive();
// Whether standard output is a terminal.
bool OutputIsTerminal();

class LiveReadout final : public RunListener {
 public:
  using Clock = std::chrono::steady_clock;

  LiveReadout();

  bool Start(const RunStart& start) override;
  void Frame(const FrameRow& row) override;
  // Shows the latest frame when its time has come.
  void Update(Clock::time_point now);
  // A line of its own between readouts, such as a marker's.
  void Note(const std::string& text);
  // Shows the latest frame, if not yet shown, and ends the line: a message may follow.
  bool Finish() override;

 private:
  void Print();
  // The line for one board: its corners; for several: each board's total and their centre.
  int OneBoardLine(char* line, size_t room, double seconds) const;
  int BoardsLine(char* line, size_t room, double seconds) const;

  bool interactive_;
  Clock::duration period_;
  Clock::time_point last_;
  double periodSeconds_ = 0;
  BoardLayout layout_;
  FrameRow latest_;
  long frames_ = 0;
  long shownFrames_ = 0;
  int lastLength_ = 0;
  bool lineOpen_ = false;
};

}  // namespace kymhost
