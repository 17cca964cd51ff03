#include "recording/capture_lines.h"

#include "recording/hex_digit.h"
#include "recording/text_fields.h"

namespace recording {

namespace {

constexpr size_t kAddressBytes = 6;
constexpr size_t kLongestMicros = 19;  // digits that fit 64 bits
// A HID report of the board is 22 bytes; a driver never hands over more than a report's buffer.
constexpr size_t kLongestReport = 64;

bool ReadByte(std::string_view word, uint8_t& byte) {
  if (word.size() != 2 || HexDigit(word[0]) < 0 || HexDigit(word[1]) < 0) return false;
  byte = static_cast<uint8_t>(HexDigit(word[0]) << 4 | HexDigit(word[1]));
  return true;
}

bool ReadMicros(std::string_view word, uint64_t& micros) {
  if (word.empty() || word.size() > kLongestMicros) return false;
  micros = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    micros = micros * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// The next word of line from at on, moving at past it; empty at the end.
std::string_view NextWord(std::string_view line, size_t& at) {
  at = line.find_first_not_of(kBlanks, at);
  if (at == std::string_view::npos) {
    at = line.size();
    return {};
  }
  size_t end = line.find_first_of(kBlanks, at);
  if (end == std::string_view::npos) end = line.size();
  std::string_view word = line.substr(at, end - at);
  at = end;
  return word;
}

}  // namespace

CaptureLine ReadCaptureLine(std::string_view line, CapturedReport& report, std::string& why) {
  size_t at = 0;
  std::string_view word = NextWord(line, at);
  if (word.empty() || word[0] == '#') return CaptureLine::kOther;
  if (!ReadMicros(word, report.micros)) {
    why = "'" + std::string(word) + "' is not a time in microseconds since the open";
    return CaptureLine::kBad;
  }
  word = NextWord(line, at);
  if (word != "in" && word != "out") {
    why = "'" + std::string(word) + "' is not 'in' or 'out' (which way the report went)";
    return CaptureLine::kBad;
  }
  report.sent = word == "out";
  report.bytes.clear();
  for (word = NextWord(line, at); !word.empty(); word = NextWord(line, at)) {
    uint8_t byte = 0;
    if (!ReadByte(word, byte)) {
      why = "'" + std::string(word) + "' is not a byte in hex (two digits)";
      return CaptureLine::kBad;
    }
    if (report.bytes.size() == kLongestReport) {
      why = "a report of more than 64 bytes";
      return CaptureLine::kBad;
    }
    report.bytes.push_back(byte);
  }
  if (report.bytes.empty()) {
    why = "a report without bytes";
    return CaptureLine::kBad;
  }
  return CaptureLine::kReport;
}

bool ReadCaptureAddress(std::string_view text, uint64_t& address) {
  address = 0;
  for (size_t i = 0; i < kAddressBytes; ++i) {
    uint8_t byte = 0;
    if (text.size() < 3 * i + 2 || !ReadByte(text.substr(3 * i, 2), byte)) return false;
    if (i + 1 < kAddressBytes && text.size() > 3 * i + 2 && text[3 * i + 2] != ':') return false;
    address = address << 8 | byte;
  }
  return true;
}

}  // namespace recording
