// The lines of a capture of a board's HID reports, as the plug-in writes it when
// PLANKSCALE_CAPTURE names a file: "#" lines first (one of them "# board ADDRESS serial
// DIGITS"), then a report a line, "<microseconds since the open> <in|out> <hex bytes>". The world
// replays captures; kymhost analyse measures them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace recording {

constexpr char kCaptureTitle[] = "# PlankScale HID report capture";
constexpr char kCaptureBoardComment[] = "# board ";

struct CapturedReport {
  uint64_t micros = 0;
  bool sent = false;  // an output report of the host's; else an input report of the board's
  std::vector<uint8_t> bytes;
};

enum class CaptureLine { kReport, kOther, kBad };

// Reads one line: a report into report (its bytes reused), kOther for a comment or a blank line,
// kBad with why for anything else.
CaptureLine ReadCaptureLine(std::string_view line, CapturedReport& report, std::string& why);

// "AA:BB:CC:DD:EE:FF" at the start of text, as the "# board" line has it.
bool ReadCaptureAddress(std::string_view text, uint64_t& address);

}  // namespace recording
