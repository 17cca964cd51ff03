// One opened board, spoken to as the recording application speaks to an instrument: command
// lines and reply lines, sample blocks and the lines that end a run.
#pragma once

#include "measures/board_geometry.h"
#include "host/plugin_library.h"

#include <string>
#include <vector>

namespace kymhost {

// What one ReadBuffer call brought.
struct StreamEvent {
  enum Kind { kNothing, kFrames, kAbort, kDisconnected, kOther } kind = kNothing;
  // Why the plug-in ended the run, for kAbort.
  enum Reason { kUnknown, kUserStop, kBatteries, kTimedOut } reason = kUnknown;
  std::vector<FrameKg> frames;
  std::string text;  // the abort reason, or the other line, without its line end
};

class HostSession {
 public:
  HostSession(PluginLibrary& plugin, int index) : plugin_(plugin), index_(index) {}

  // Sends a command line and reads its reply line (without the line end). False when no reply
  // came within the timeout.
  bool Command(const std::string& line, std::string& reply, int timeoutMs = 1000);
  // The value of a query reply ("=value"), or empty when the reply was something else.
  std::string Query(const std::string& line);
  // Sends an action and tells whether it was acknowledged ("<OK").
  bool Action(const std::string& line);

  // Reads the scaling the plug-in announces for channel 1; false when it makes no sense.
  bool LoadScaling();
  double KgPerUnit() const { return kgPerUnit_; }

  StreamEvent ReadStream(int timeoutMs);
  // The device's last message, read once as the application reads it.
  std::string DeviceMessage();

 private:
  PluginLibrary& plugin_;
  int index_;
  double kgPerUnit_ = 0.0;
  double kgOffset_ = 0.0;
  std::vector<char> block_ = std::vector<char>(8192);
};

// Parses a "basescaling" value "v1,kg1;v2,kg2;unit;..." into a linear map.
bool ParseScaling(const std::string& value, double& kgPerUnit, double& kgOffset);

}  // namespace kymhost
