// The live view's frame events with several boards: each board's own numbers, and the boards
// together as laid side by side, or nothing together when a board's frame is missing.
#include "view/event_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kymhost::BoardFrame;
using kymhost::EventStream;
using kymhost::FrameKg;
using kymhost::FrameRow;
using kymhost::ViewEvent;

std::string FrameData(const FrameRow& row) {
  EventStream stream;
  ViewEvent start;
  start.kind = ViewEvent::kStart;
  start.start.boards.resize(static_cast<size_t>(row.boards));
  stream.Take(start);
  ViewEvent frame;
  frame.kind = ViewEvent::kFrame;
  frame.row = row;
  std::string text = stream.Take(frame);
  size_t data = text.find("data: ");
  return data == std::string::npos ? text : text.substr(data + 6, text.find('\n', data) - data - 6);
}

BoardFrame Board(double totalKg, double copXmm) { return {true, FrameKg::Of(totalKg, copXmm, 0.0)}; }

TEST(ViewStream, SeveralBoardsAreEachTheirOwnAndTogetherSideBySide) {
  struct Case {
    const char* what;
    BoardFrame left, right;
    std::string together;  // the start of the frame's data
    std::string boards;    // its end
  };
  // The boards' centres lie one board's width (511 mm) apart, at -255.5 and +255.5 mm: 60 % at
  // -245.5 mm and 40 % at +245.5 mm come to -49.1 mm.
  const Case cases[] = {
      {"even", Board(35, 0), Board(35, 0),
       "{\"t\": 1.00, \"total_kg\": 70.000, \"cop_x_mm\": 0.0, \"cop_y_mm\": 0.0, \"corners_kg\": [17.500, 17.500, 17.500, 17.500]",
       "\"boards\": [{\"total_kg\": 35.000, \"cop_x_mm\": 0.0, \"cop_y_mm\": 0.0, \"corners_kg\": [8.750, 8.750, 8.750, 8.750]}, "
       "{\"total_kg\": 35.000, \"cop_x_mm\": 0.0, \"cop_y_mm\": 0.0, \"corners_kg\": [8.750, 8.750, 8.750, 8.750]}]}"},
      {"60 % on the left, each foot 10 mm inwards", Board(42, 10), Board(28, -10),
       "{\"t\": 1.00, \"total_kg\": 70.000, \"cop_x_mm\": -49.1, \"cop_y_mm\": 0.0,",
       "{\"total_kg\": 28.000, \"cop_x_mm\": -10.0, \"cop_y_mm\": 0.0, \"corners_kg\": [7.323, 7.323, 6.677, 6.677]}]}"},
      {"the right board's frame missing", Board(35, 0), BoardFrame{},
       "{\"t\": 1.00, \"total_kg\": null, \"cop_x_mm\": null, \"cop_y_mm\": null, \"corners_kg\": null",
       "\"corners_kg\": [8.750, 8.750, 8.750, 8.750]}, null]}"},
  };
  for (const Case& c : cases) {
    FrameRow row;
    row.number = 100;
    row.seconds = 1.0;
    row.boards = 2;
    row.board[0] = c.left;
    row.board[1] = c.right;
    std::string data = FrameData(row);
    EXPECT_EQ(data.rfind(c.together, 0), 0u) << c.what << "\n" << data;
    EXPECT_EQ(data.size() >= c.boards.size() ? data.substr(data.size() - c.boards.size()) : data, c.boards)
        << c.what << "\n" << data;
  }
}

}  // namespace
