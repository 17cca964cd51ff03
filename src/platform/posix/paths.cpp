// Full path names with Windows' rules: drive-absolute, root-relative and relative paths, either
// slash, "." and ".." resolved, repeated separators collapsed. The current directory is the host
// executable's.
#include "platform/win32.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring CurrentDirectory() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring executable(path, n < MAX_PATH ? n : 0);
  size_t slash = executable.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L"C:\\") : executable.substr(0, slash + 1);
}

// Splits an absolute path into its root ("C:\" or "\\server\share\") and the rest.
void SplitRoot(const std::wstring& path, std::wstring& root, std::wstring& rest) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t server = path.find_first_of(L"\\/", 2);
    size_t share = server == std::wstring::npos ? std::wstring::npos : path.find_first_of(L"\\/", server + 1);
    root = path.substr(0, share == std::wstring::npos ? path.size() : share) + L"\\";
    rest = share == std::wstring::npos ? std::wstring() : path.substr(share + 1);
  } else {
    root = path.substr(0, 2) + L"\\";
    rest = path.size() > 3 ? path.substr(3) : std::wstring();
  }
  for (auto& c : root)
    if (c == L'/') c = L'\\';
}

std::wstring Absolute(const std::wstring& path) {
  bool drive = path.size() >= 2 && path[1] == L':';
  if (drive && path.size() >= 3 && IsSeparator(path[2])) return path;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return path;
  std::wstring current = CurrentDirectory();
  if (!path.empty() && IsSeparator(path[0])) return current.substr(0, 2) + path;  // root of the current drive
  if (drive) return path.substr(0, 2) + L"\\" + path.substr(2);  // another drive's current directory: its root
  return current + path;
}

std::wstring Canonical(const std::wstring& path) {
  std::wstring root, rest;
  SplitRoot(Absolute(path), root, rest);
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t stop = start;
    while (stop < rest.size() && !IsSeparator(rest[stop])) ++stop;
    std::wstring part = rest.substr(start, stop - start);
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    start = stop + 1;
  }
  std::wstring out = root;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? L"\\" : L"") + parts[i];
  if (!rest.empty() && IsSeparator(rest.back()) && !parts.empty()) out += L'\\';
  return out;
}

}  // namespace

DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::wstring full = Canonical(name);
  if (full.size() + 1 > size || !buffer) return static_cast<DWORD>(full.size() + 1);
  std::memcpy(buffer, full.c_str(), (full.size() + 1) * sizeof(wchar_t));
  if (filePart) {
    size_t slash = full.find_last_of(L'\\');
    *filePart = slash + 1 < full.size() ? buffer + slash + 1 : nullptr;
  }
  return static_cast<DWORD>(full.size());
}
