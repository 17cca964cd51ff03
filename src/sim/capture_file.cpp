#include "sim/capture_file.h"

#include "recording/text_file.h"
#include "recording/text_lines.h"

#include <utility>

namespace sim {

bool ParseCapture(const std::string& text, const std::string& name, Capture& capture, std::string& error) {
  Capture read;
  recording::TextLines lines(text);
  std::string_view line;
  constexpr size_t kBoardPrefix = sizeof recording::kCaptureBoardComment - 1;
  CapturedReport report;
  while (lines.Next(line)) {
    if (line.substr(0, kBoardPrefix) == recording::kCaptureBoardComment) {
      read.hasAddress = recording::ReadCaptureAddress(line.substr(kBoardPrefix), read.address);
      continue;
    }
    std::string why;
    recording::CaptureLine kind = recording::ReadCaptureLine(line, report, why);
    if (kind == recording::CaptureLine::kBad) {
      error = name + ":" + std::to_string(lines.Number()) + ": " + why;
      return false;
    }
    if (kind == recording::CaptureLine::kReport) read.reports.push_back(report);
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
