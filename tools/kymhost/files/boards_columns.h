// The names kymhost's CSV gives its columns and its comment lines, for one board and for several.
#pragma once

#include <string>

namespace kymhost {

constexpr char kTimeColumn[] = "time_s";
constexpr char kMarkerColumn[] = "marker";
// Each board's columns, in order; with several boards each name has the board's "b1_" before it.
constexpr const char* kBoardColumns[] = {"top_left_kg", "bottom_left_kg", "top_right_kg", "bottom_right_kg",
                                         "total_kg",    "cop_x_mm",       "cop_y_mm"};
constexpr int kBoardColumnCount = sizeof kBoardColumns / sizeof kBoardColumns[0];
// The comment lines of a recording of several boards: "# board 1: SERIAL LABEL", the spread of
// the starts and how the boards stood.
constexpr char kBoardComment[] = "board";
constexpr char kSpreadComment[] = "start_spread_ms:";
constexpr char kLayoutComment[] = "layout: side-by-side";

// "b2_" for board index 1.
inline std::string BoardColumnPrefix(int board) { return "b" + std::to_string(board + 1) + "_"; }

}  // namespace kymhost
