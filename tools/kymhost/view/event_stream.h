// The stream the view's page reads (GET /events, Server-Sent Events): each event of the session
// as its text, and the session so far for a viewer who comes in late. Runs on the server thread.
#pragma once

#include "measures/running_sway.h"
#include "view/view_event.h"

#include <deque>
#include <string>
#include <vector>

namespace kymhost {

class EventStream {
 public:
  // What the session is doing, as the stream has told it.
  enum class Phase { kBeforeRun, kStarting, kRecording, kRunOver };

  // The text to send every viewer for one event; empty when the event says nothing to them.
  std::string Take(const ViewEvent& event);
  // Everything a viewer who connects now needs, in the order the events came: the start, the
  // messages, the markers, the frames of the last 30 s, the ellipse, the summary.
  std::string Replay() const;
  // A comment line: it keeps a quiet stream (a long search) alive, and finds viewers that are gone.
  static std::string KeepAlive() { return ":\n\n"; }

  Phase CurrentPhase() const { return phase_; }
  bool Ended() const { return !end_.empty(); }

 private:
  std::string FrameEvent(const FrameRow& row);
  std::string EllipseEvent() const;

  Phase phase_ = Phase::kBeforeRun;
  int boards_ = 1;
  std::string start_, summary_, end_;
  std::deque<std::string> messages_, markers_, frames_;
  RunningSway sway_;
  std::vector<double> centreXmm_;  // where each board's centre stands, from the middle of the row
};

// One event in the stream's wire form: "event: NAME", a "data:" line for each line of data, a
// blank line.
std::string SseEvent(const char* name, const std::string& data);

}  // namespace kymhost
