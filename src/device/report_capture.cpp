#include "device/report_capture.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <set>
#include <vector>

namespace Kestrel {

namespace {

constexpr size_t kFlushBytes = 16 * 1024;
constexpr DWORD kFlushIntervalMs = 1000;
constexpr int64_t kMicrosPerSecond = 1000000;
const char kStoppedLine[] = "# capture stopped at 64 MiB\n";
const char kCannotWrite[] = "PlankScale: the report capture named by PLANKSCALE_CAPTURE cannot be written\n";

struct Shared {
  std::mutex lock;
  std::set<std::wstring> pathsInUse;
  std::string pluginVersion = "unknown";
};

Shared& TheShared() {
  static auto* shared = new Shared;  // captures may close after static destructors ran
  return *shared;
}

// Said once a process: there is no other place a plug-in may say it.
void SayCannotWrite() {
  static std::atomic<bool> said{false};
  if (!said.exchange(true)) OutputDebugStringA(kCannotWrite);
}

std::wstring EnvironmentValue(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::wstring();
  std::vector<wchar_t> value(size + 1, 0);
  DWORD length = GetEnvironmentVariableW(name, value.data(), size + 1);
  return length > 0 && length <= size ? std::wstring(value.data(), length) : std::wstring();
}

// base, or base with "-n" before its extension: the first one no open capture writes to.
std::wstring ClaimPath(const std::wstring& base) {
  size_t slash = base.find_last_of(L"\\/");
  size_t dot = base.find_last_of(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) dot = base.size();
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> guard(shared.lock);
  std::wstring path = base;
  for (int n = 2; shared.pathsInUse.count(path); ++n)
    path = base.substr(0, dot) + L"-" + std::to_wstring(n) + base.substr(dot);
  shared.pathsInUse.insert(path);
  return path;
}

void ReleasePath(const std::wstring& path) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> guard(shared.lock);
  shared.pathsInUse.erase(path);
}

std::string Narrow(const OrxString& text) {
  std::string out;
  for (const wchar_t* c = text.Chars(); c && *c; ++c) out += *c < 0x80 ? static_cast<char>(*c) : '?';
  return out;
}

// The board's Bluetooth address, from its serial number: the address as twelve hex digits.
std::string AddressOf(const std::string& serial) {
  if (serial.size() != 12) return "unknown";
  std::string address;
  for (size_t i = 0; i < serial.size(); i += 2) {
    if (i) address += ':';
    for (size_t k = i; k < i + 2; ++k) address += static_cast<char>(std::toupper(static_cast<unsigned char>(serial[k])));
  }
  return address;
}

std::string UtcNow() {
  static std::mutex lock;  // gmtime's result is shared
  std::lock_guard<std::mutex> guard(lock);
  std::time_t now = std::time(nullptr);
  char text[32] = "unknown";
  if (const std::tm* utc = std::gmtime(&now)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", utc);
  return text;
}

int64_t Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

}  // namespace

void ReportCapture::SetPluginVersion(const OrxString& version) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> guard(shared.lock);
  shared.pluginVersion = Narrow(version);
}

std::shared_ptr<ReportCapture> ReportCapture::ForBoard(const OrxString& serial, int64_t counterFrequency) {
  std::wstring base = EnvironmentValue(kCaptureVariable);
  if (base.empty() || counterFrequency <= 0) return nullptr;
  std::wstring path = ClaimPath(base);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ReleasePath(path);
    SayCannotWrite();
    return nullptr;
  }
  std::shared_ptr<ReportCapture> capture(new ReportCapture(file, path, counterFrequency, Now()));
  std::string version;
  {
    Shared& shared = TheShared();
    std::lock_guard<std::mutex> guard(shared.lock);
    version = shared.pluginVersion;
  }
  std::string number = Narrow(serial);
  std::lock_guard<std::mutex> guard(capture->lock_);
  capture->AppendLocked("# PlankScale HID report capture\n");
  capture->AppendLocked("# plug-in " + version + "\n");
  capture->AppendLocked("# board " + AddressOf(number) + " serial " + number + "\n");
  capture->AppendLocked("# counter " + std::to_string(counterFrequency) + " Hz\n");
  capture->AppendLocked("# date " + UtcNow() + "\n");
  capture->AppendLocked("# microseconds since the open, in or out, the report's bytes in hex\n");
  return capture;
}

ReportCapture::ReportCapture(HANDLE file, std::wstring path, int64_t counterFrequency, int64_t openCounter)
    : file_(file),
      path_(std::move(path)),
      counterFrequency_(counterFrequency),
      openCounter_(openCounter),
      lastFlushTick_(GetTickCount()) {}

ReportCapture::~ReportCapture() {
  Flush(true);
  CloseHandle(file_);
  ReleasePath(path_);
}

void ReportCapture::AppendLocked(const std::string& line) {
  if (full_) return;
  if (recordedBytes_ + line.size() + sizeof kStoppedLine > kCaptureLimitBytes) {
    pending_ += kStoppedLine;
    full_ = true;
    return;
  }
  pending_ += line;
  recordedBytes_ += line.size();
}

void ReportCapture::Record(bool sent, const uint8_t* report, int length, int64_t counter) {
  int64_t ticks = counter - openCounter_;
  if (ticks < 0) ticks = 0;
  // Split at whole seconds so the product cannot overflow however long the board was open.
  int64_t micros = ticks / counterFrequency_ * kMicrosPerSecond +
                   (ticks % counterFrequency_ * kMicrosPerSecond + counterFrequency_ / 2) / counterFrequency_;
  std::string line = std::to_string(micros) + (sent ? " out" : " in");
  char hex[4];
  for (int i = 0; i < length; ++i) {
    std::snprintf(hex, sizeof hex, " %02x", report[i]);
    line += hex;
  }
  line += '\n';
  std::lock_guard<std::mutex> guard(lock_);
  AppendLocked(line);
}

void ReportCapture::Flush(bool force) {
  std::string text;
  {
    std::lock_guard<std::mutex> guard(lock_);
    DWORD now = GetTickCount();
    if (pending_.empty() || (!force && pending_.size() < kFlushBytes && now - lastFlushTick_ < kFlushIntervalMs)) return;
    text.swap(pending_);
    lastFlushTick_ = now;
  }
  std::lock_guard<std::mutex> guard(fileLock_);
  if (writeFailed_) return;
  DWORD written = 0;
  if (!WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written != text.size()) {
    writeFailed_ = true;
    SayCannotWrite();
  }
}

}  // namespace Kestrel
