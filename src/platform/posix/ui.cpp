// Message boxes and debug output: recorded for tests and printed, since nobody can click.
#include "platform/posix/control.h"

#include <cstdio>
#include <mutex>

namespace {

struct Records {
  std::mutex lock;
  std::vector<posix::MessageBoxRecord> boxes;
  std::vector<std::string> debug;
};

Records& TheRecords() {
  static Records* records = new Records;
  return *records;
}

std::string Utf8(const wchar_t* text) {
  if (!text) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();
  return out;
}

}  // namespace

namespace posix {

std::vector<MessageBoxRecord> MessageBoxes() {
  Records& r = TheRecords();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.boxes;
}

std::vector<std::string> DebugOutput() {
  Records& r = TheRecords();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.debug;
}

void ClearUserInterfaceRecords() {
  Records& r = TheRecords();
  std::lock_guard<std::mutex> guard(r.lock);
  r.boxes.clear();
  r.debug.clear();
}

}  // namespace posix

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  Records& r = TheRecords();
  {
    std::lock_guard<std::mutex> guard(r.lock);
    r.boxes.push_back({text ? text : L"", caption ? caption : L"", type});
  }
  std::fprintf(stderr, "[message box] %s: %s\n", Utf8(caption).c_str(), Utf8(text).c_str());
  return 1;  // IDOK
}

void OutputDebugStringA(LPCSTR text) {
  Records& r = TheRecords();
  std::lock_guard<std::mutex> guard(r.lock);
  r.debug.push_back(text ? text : "");
}
