#include "sim/capture_file.h"

#include "recording/text_file.h"
#include "sim/hex_digit.h"

#include <sstream>

namespace sim {

namespace {

constexpr char kBoardComment[] = "# board ";
constexpr size_t kAddressBytes = 6;
// A HID report of the board is 22 bytes; a driver never hands over more than a report's buffer.
constexpr size_t kLongestReport = 64;

bool ReadByte(const std::string& word, uint8_t& byte) {
  if (word.size() != 2 || HexDigit(word[0]) < 0 || HexDigit(word[1]) < 0) return false;
  byte = static_cast<uint8_t>(HexDigit(word[0]) << 4 | HexDigit(word[1]));
  return true;
}

bool ReadMicros(const std::string& word, uint64_t& micros) {
  if (word.empty() || word.size() > 19) return false;
  micros = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    micros = micros * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// "AA:BB:CC:DD:EE:FF" at the start of text.
bool ReadAddress(const std::string& text, uint64_t& address) {
  address = 0;
  for (size_t i = 0; i < kAddressBytes; ++i) {
    uint8_t byte = 0;
    if (text.size() < 3 * i + 2 || !ReadByte(text.substr(3 * i, 2), byte)) return false;
    if (i + 1 < kAddressBytes && text.size() > 3 * i + 2 && text[3 * i + 2] != ':') return false;
    address = address << 8 | byte;
  }
  return true;
}

}  // namespace

bool ParseCapture(const std::string& text, const std::string& name, Capture& capture, std::string& error) {
  Capture read;
  std::istringstream lines(text);
  std::string line;
  long number = 0;
  auto fail = [&](const std::string& what) {
    error = name + ":" + std::to_string(number) + ": " + what;
    return false;
  };
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(kBoardComment, 0) == 0) {
      read.hasAddress = ReadAddress(line.substr(sizeof kBoardComment - 1), read.address);
      continue;
    }
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word[0] == '#') continue;
    CapturedReport report;
    if (!ReadMicros(word, report.micros)) return fail("'" + word + "' is not a time in microseconds since the open");
    if (!(words >> word) || (word != "in" && word != "out"))
      return fail("'" + word + "' is not 'in' or 'out' (which way the report went)");
    report.sent = word == "out";
    while (words >> word) {
      uint8_t byte = 0;
      if (!ReadByte(word, byte)) return fail("'" + word + "' is not a byte in hex (two digits)");
      report.bytes.push_back(byte);
    }
    if (report.bytes.empty()) return fail("a report without bytes");
    if (report.bytes.size() > kLongestReport) return fail("a report of more than 64 bytes");
    read.reports.push_back(std::move(report));
  }
  if (read.reports.empty()) {
    error = name + ": holds no reports (lines such as '1458 in 30 00 00 ...')";
    return false;
  }
  capture = std::move(read);
  return true;
}

bool ReadCaptureFile(const std::string& path, Capture& capture, std::string& error) {
  std::string text;
  return recording::ReadTextFile(path, text, error) && ParseCapture(text, path, capture, error);
}

}  // namespace sim
