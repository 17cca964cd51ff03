// The boards of one recording: opened through the exports, numbered by serial number, named by
// the user's labels or told apart by a press of each one's button, and started back to back.
#pragma once

#include "host/host_session.h"
#include "host/plugin_library.h"
#include "host/run_listener.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace kymhost {

struct OpenBoard {
  int index = -1;  // the plug-in's device index
  BoardIdentity identity;
  std::unique_ptr<HostSession> session;
};

class BoardSession {
 public:
  explicit BoardSession(PluginLibrary& plugin) : plugin_(plugin) {}

  // Opens each board found, in turn. False, having said which one could not be opened and why.
  bool Open(const std::vector<int>& indices);
  // Takes a board the caller has opened.
  void Adopt(int index);
  // Numbers the boards in the order of their serial numbers and names them with the labels, as
  // many as there are boards (or none).
  void Number(const std::vector<std::string>& labels);
  // Numbers the boards in the order in which the user presses their buttons instead, one prompt a
  // label; the last board is the one left. False, having said why, when no press came in time, a
  // board failed, or kymhost was interrupted.
  bool Identify(const std::atomic<bool>& interrupted);

  // Starts every board's run, one right after the other; spreadMs is how far apart in host time
  // the first and the last start were. False, having said which, when a board did not start.
  bool StartAll(double& spreadMs);
  // Stops the runs of the boards still sampling.
  void StopAll();
  void Stopped(int board) { sampling_[static_cast<size_t>(board)] = false; }

  int Count() const { return static_cast<int>(boards_.size()); }
  OpenBoard& Board(int board) { return boards_[static_cast<size_t>(board)]; }
  std::vector<BoardIdentity> Identities() const;
  // How kymhost names a board in its messages: nothing when it records one board only.
  std::string Prefix(int board) const;

 private:
  PluginLibrary& plugin_;
  std::vector<OpenBoard> boards_;
  std::vector<bool> sampling_;
};

}  // namespace kymhost
