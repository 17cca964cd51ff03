// kymhost's CSV of several boards read back: each row's frame of every board (a board whose frame
// did not come has empty cells), which board was which, and how they stood and started.
#pragma once

#include "host/run_listener.h"

#include <string>
#include <vector>

namespace kymhost {

struct BoardsTrial {
  double periodSeconds = 0;
  std::vector<BoardIdentity> boards;
  std::vector<FrameRow> rows;
  std::string label;
  double startSpreadMs;  // NaN: the file does not say
  double gapMm;          // NaN: the file does not say
};

// Whether the text is kymhost's CSV of several boards: its header names board 1's corners.
bool IsBoardsCsv(const std::string& text);

// Reads it; name is what messages call it. False, with error "name:line: what is wrong", when the
// file is not such a recording or its times are not evenly spaced.
bool ParseBoardsTrial(const std::string& text, const std::string& name, BoardsTrial& trial, std::string& error);

}  // namespace kymhost
