// A capture of a board's HID reports, as the plug-in writes it when PLANKSCALE_CAPTURE names a
// file, read back for a board that replays it (recording/capture_lines.h has its lines).
#pragma once

#include "recording/capture_lines.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using recording::CapturedReport;

struct Capture {
  std::vector<CapturedReport> reports;  // in the file's order
  bool hasAddress = false;
  uint64_t address = 0;  // the captured board's Bluetooth address
};

// Reads a capture from text; name is what messages call it. False when it cannot, with error set
// to "name:line: what is wrong" (or "name: what is wrong").
bool ParseCapture(const std::string& text, const std::string& name, Capture& capture, std::string& error);
bool ReadCaptureFile(const std::string& path, Capture& capture, std::string& error);

}  // namespace sim
