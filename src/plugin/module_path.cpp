#include "plugin/module_path.h"

#include <vector>

namespace {
constexpr DWORD kLongestPath = 32768;  // the system's limit for extended paths
}

std::wstring ModuleFileName(HMODULE module) {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    auto size = static_cast<DWORD>(path.size());
    DWORD length = GetModuleFileNameW(module, path.data(), size);
    if (length == 0) return {};
    if (length < size) return std::wstring(path.data(), length);
    if (size >= kLongestPath) return {};
    path.resize(size * 2);  // truncated: try a larger buffer
  }
}

std::wstring FullPathName(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> full(needed);
  DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  return std::wstring(full.data(), length);
}
