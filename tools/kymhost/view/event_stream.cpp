#include "view/event_stream.h"

#include "files/fixed_format.h"
#include "files/sway_summary.h"
#include "measures/board_layout.h"
#include "measures/combined_centre.h"
#include "measures/math_constants.h"

#include <cmath>
#include <string>
#include <vector>

namespace kymhost {

namespace {

// The page draws the last 30 s of the total weight; a late viewer gets that much of the run.
constexpr size_t kKeptFrames = 3000;
constexpr size_t kKeptMessages = 200;
constexpr size_t kKeptMarkers = 1000;
// The ellipse so far changes slowly: once a second is plenty.
constexpr long kFramesPerEllipse = 100;
constexpr double kDegreesPerRadian = 180 / kPi;

void Keep(std::deque<std::string>& kept, std::string text, size_t most) {
  kept.push_back(std::move(text));
  if (kept.size() > most) kept.pop_front();
}

// A line of text, as one data line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return text;
}

const char* BatteryWord(BatteryState battery) {
  switch (battery) {
    case BatteryState::kFine:
      return "fine";
    case BatteryState::kWeak:
      return "weak";
    case BatteryState::kNotChecked:
      break;
  }
  return "not checked";
}

BoardLayout StartLayout(const RunStart& start) {
  std::vector<std::string> labels;
  for (const BoardIdentity& board : start.boards) labels.push_back(board.label);
  return LayOut(labels, start.gapMm);
}

std::string StartJson(const RunStart& start) {
  std::string centres;
  for (double x : StartLayout(start).centreXmm) centres += (centres.empty() ? "" : ", ") + Plain(x);
  std::string boards;
  for (const BoardIdentity& board : start.boards) {
    boards += (boards.empty() ? "{" : ", {") + std::string("\"label\": ") + JsonString(board.label) +
              ", \"serial\": " + JsonString(board.serial) + ", \"type\": " + JsonString(board.type) +
              ", \"version\": " + JsonString(board.version) + ", \"battery\": \"" + BatteryWord(board.battery) + "\"}";
  }
  return "{\"period_s\": " + Plain(start.periodSeconds) +
         ", \"label\": " + (start.label.empty() ? std::string("null") : JsonString(start.label)) + ", \"boards\": [" +
         boards + "], \"start_spread_ms\": " + Fixed(start.startSpreadMs, kMmDecimals) +
         ", \"board_mm\": [" + Plain(kBoardWidthMm) + ", " + Plain(kBoardDepthMm) + "], \"sensor_span_mm\": [" +
         Plain(kSensorSpanXmm) + ", " + Plain(kSensorSpanYmm) + "], \"centre_x_mm\": [" + centres + "]}";
}

// One board's part of a frame, or the whole of it: the numbers as the CSV writes them.
std::string LoadJson(const FrameKg& kg) {
  std::string corners;
  for (double corner : kg.channel) corners += (corners.empty() ? "" : ", ") + Fixed(corner, kKgDecimals);
  return "\"total_kg\": " + Fixed(kg.Total(), kKgDecimals) + ", \"cop_x_mm\": " + Fixed(kg.CopXmm(), kMmDecimals) +
         ", \"cop_y_mm\": " + Fixed(kg.CopYmm(), kMmDecimals) + ", \"corners_kg\": [" + corners + "]";
}

const char kNoLoad[] = "\"total_kg\": null, \"cop_x_mm\": null, \"cop_y_mm\": null, \"corners_kg\": null";

// The boards together, standing where the run's layout puts them: each corner summed over the
// boards, the centre of pressure of all of them. Only when every board's frame came; a board
// missing from the row leaves the whole unknown rather than lopsided.
bool Together(const FrameRow& row, const std::vector<double>& centreXmm, FrameKg& together, double& copXmm,
              double& copYmm) {
  together = FrameKg{};
  std::vector<PlacedLoad> loads;
  for (int b = 0; b < row.boards; ++b) {
    const BoardFrame& board = row.board[static_cast<size_t>(b)];
    if (!board.present) return false;
    for (int c = 0; c < kChannels; ++c) together.channel[c] += board.kg.channel[c];
    loads.push_back({board.kg.Total(), board.kg.CopXmm(), board.kg.CopYmm()});
  }
  SwayFrame combined = CombinedCentre(loads, centreXmm);
  copXmm = combined.copXmm;
  copYmm = combined.copYmm;
  return true;
}

}  // namespace

std::string SseEvent(const char* name, const std::string& data) {
  std::string text = "event: " + std::string(name) + "\n";
  size_t at = 0;
  for (size_t end; (end = data.find('\n', at)) != std::string::npos; at = end + 1)
    text += "data: " + data.substr(at, end - at) + "\n";
  if (at < data.size() || data.empty()) text += "data: " + data.substr(at) + "\n";
  return text + "\n";
}

std::string EventStream::FrameEvent(const FrameRow& row) {
  std::string json = "{\"t\": " + Fixed(row.seconds, kSecondsDecimals) + ", ";
  if (row.boards <= 1) {
    const BoardFrame& board = row.board[0];
    json += board.present ? LoadJson(board.kg) : kNoLoad;
    if (board.present) sway_.Add(board.kg.Total(), board.kg.CopXmm(), board.kg.CopYmm());
  } else {
    // Without a start (a test's lone frame), the boards stand edge to edge in their order.
    if (centreXmm_.size() != static_cast<size_t>(row.boards))
      centreXmm_ = LayOut(std::vector<std::string>(static_cast<size_t>(row.boards)), 0).centreXmm;
    FrameKg together;
    double x = 0, y = 0;
    if (Together(row, centreXmm_, together, x, y)) {
      std::string corners;
      for (double corner : together.channel) corners += (corners.empty() ? "" : ", ") + Fixed(corner, kKgDecimals);
      json += "\"total_kg\": " + Fixed(together.Total(), kKgDecimals) + ", \"cop_x_mm\": " + Fixed(x, kMmDecimals) +
              ", \"cop_y_mm\": " + Fixed(y, kMmDecimals) + ", \"corners_kg\": [" + corners + "]";
      sway_.Add(together.Total(), x, y);
    } else {
      json += kNoLoad;
    }
    json += ", \"boards\": [";
    for (int b = 0; b < row.boards; ++b) {
      const BoardFrame& board = row.board[static_cast<size_t>(b)];
      json += (b > 0 ? ", " : "") + (board.present ? "{" + LoadJson(board.kg) + "}" : std::string("null"));
    }
    json += "]";
  }
  return SseEvent("frame", json + "}");
}

std::string EventStream::EllipseEvent() const {
  PredictionEllipse ellipse = sway_.Ellipse();
  return SseEvent("ellipse", "{\"frames\": " + std::to_string(sway_.Frames()) +
                                 ", \"mean_x_mm\": " + Fixed(sway_.MeanXmm(), kMmDecimals + 1) +
                                 ", \"mean_y_mm\": " + Fixed(sway_.MeanYmm(), kMmDecimals + 1) +
                                 ", \"semi_major_mm\": " + Fixed(ellipse.semiMajor, kMmDecimals + 1) +
                                 ", \"semi_minor_mm\": " + Fixed(ellipse.semiMinor, kMmDecimals + 1) +
                                 ", \"angle_deg\": " + Fixed(ellipse.angle * kDegreesPerRadian, kMmDecimals) +
                                 ", \"area_mm2\": " + Fixed(sway_.AreaMm2(), kMmDecimals) + "}");
}

std::string EventStream::Take(const ViewEvent& event) {
  switch (event.kind) {
    case ViewEvent::kSaid:
    case ViewEvent::kMessage: {
      std::string text = SseEvent("message", OneLine(event.text));
      Keep(messages_, text, kKeptMessages);
      return text;
    }
    case ViewEvent::kStart:
      phase_ = Phase::kStarting;
      boards_ = static_cast<int>(event.start.boards.size());
      centreXmm_ = StartLayout(event.start).centreXmm;
      sway_ = RunningSway{};
      frames_.clear();
      markers_.clear();
      summary_.clear();
      start_ = SseEvent("start", StartJson(event.start));
      return start_;
    case ViewEvent::kFrame: {
      phase_ = Phase::kRecording;
      std::string text;
      if (event.row.marker > 0) {
        text = SseEvent("marker", "{\"number\": " + std::to_string(event.row.marker) +
                                      ", \"t\": " + Fixed(event.row.seconds, kSecondsDecimals) + "}");
        Keep(markers_, text, kKeptMarkers);
      }
      std::string frame = FrameEvent(event.row);
      Keep(frames_, frame, kKeptFrames);
      text += frame;
      if ((event.row.number + 1) % kFramesPerEllipse == 0) text += EllipseEvent();
      return text;
    }
    case ViewEvent::kFinish:
      phase_ = Phase::kRunOver;
      return EllipseEvent();
    case ViewEvent::kSummary:
      summary_ = SseEvent("summary", event.text.size() && event.text.back() == '\n'
                                         ? event.text.substr(0, event.text.size() - 1)
                                         : event.text);
      return summary_;
    case ViewEvent::kEnd:
      phase_ = phase_ == Phase::kBeforeRun ? phase_ : Phase::kRunOver;
      end_ = SseEvent("end", "{}");
      return end_;
  }
  return {};
}

std::string EventStream::Replay() const {
  std::string text = start_;
  for (const std::string& message : messages_) text += message;
  for (const std::string& marker : markers_) text += marker;
  for (const std::string& frame : frames_) text += frame;
  if (phase_ == Phase::kRecording || phase_ == Phase::kRunOver) text += EllipseEvent();
  return text + summary_ + end_;
}

}  // namespace kymhost
