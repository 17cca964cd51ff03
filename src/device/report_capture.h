// A record of every HID report a board sends and receives, for reproducing a problem from the
// field: asked for by the environment variable PLANKSCALE_CAPTURE, which names the file. One line
// a report, "<microseconds since the open> <in|out> <hex bytes>", after "#" lines that say what
// was recorded. Recording is a memory append; the file is written by host threads and by the
// last owner, never by the reader; it stops at 64 MiB with a line that says so.
#pragma once

#include "platform/win32.h"
#include "support/orx_string.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace Kestrel {

constexpr wchar_t kCaptureVariable[] = L"PLANKSCALE_CAPTURE";
constexpr uint64_t kCaptureLimitBytes = 64ull << 20;

class ReportCapture {
 public:
  // The capture of one board that opens now, or null when the environment asks for none or its
  // file cannot be made (said once, on the debug output). A second board open at the same time
  // writes to the name with "-2" before its extension, and so on.
  static std::shared_ptr<ReportCapture> ForBoard(const OrxString& serial, int64_t counterFrequency);
  // What the header says the plug-in is; set at load.
  static void SetPluginVersion(const OrxString& version);

  ~ReportCapture();
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  void Record(bool sent, const uint8_t* report, int length, int64_t counter);
  // Writes what was recorded since the last write; with force, even a little.
  void Flush(bool force);

 private:
  ReportCapture(HANDLE file, std::wstring path, int64_t counterFrequency, int64_t openCounter);
  void AppendLocked(const std::string& line);

  HANDLE file_;
  std::wstring path_;
  int64_t counterFrequency_;
  int64_t openCounter_;
  std::mutex lock_;  // guards what follows; never held across a write to the file
  std::string pending_;
  uint64_t recordedBytes_ = 0;
  bool full_ = false;
  DWORD lastFlushTick_;
  std::mutex fileLock_;  // one write at a time, in order
  bool writeFailed_ = false;  // guarded by fileLock_
};

}  // namespace Kestrel
