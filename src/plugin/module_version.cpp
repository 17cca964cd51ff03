#include "plugin/module_version.h"

#include "plugin/module_path.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

const wchar_t kVersionTextUnavailable[] = L"N/A";

namespace {

const wchar_t kFixedPart[] = L"\\";
const wchar_t kTranslation[] = L"\\VarFileInfo\\Translation";
const wchar_t kStringTables[] = L"\\StringFileInfo\\";

std::wstring Hex4(WORD value) {
  const wchar_t digits[] = L"0123456789abcdef";
  std::wstring text;
  for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
  return text;
}

// The string table of the block's first translation, as a query prefix; empty without one.
std::wstring StringTablePath(const void* block) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block, kTranslation, &value, &length) || !value || length < 2 * sizeof(WORD)) return {};
  WORD translation[2];
  std::memcpy(translation, value, sizeof translation);
  return kStringTables + Hex4(translation[0]) + Hex4(translation[1]) + L"\\";
}

OrxString Text(const void* block, const std::wstring& table, const wchar_t* key) {
  void* value = nullptr;
  UINT length = 0;
  if (table.empty() || !VerQueryValueW(block, (table + key).c_str(), &value, &length) || !value)
    return kVersionTextUnavailable;
  const auto* chars = static_cast<const wchar_t*>(value);
  return OrxString(chars, static_cast<int>(wcsnlen(chars, length)));
}

}  // namespace

ModuleVersion ReadModuleVersion(HMODULE module) {
  ModuleVersion version;
  std::wstring path = ModuleFileName(module);
  DWORD ignored = 0;
  DWORD size = path.empty() ? 0 : GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return version;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return version;

  void* value = nullptr;
  UINT length = 0;
  VS_FIXEDFILEINFO fixed;
  if (VerQueryValueW(block.data(), kFixedPart, &value, &length) && value && length >= sizeof fixed) {
    std::memcpy(&fixed, value, sizeof fixed);
    version.fixedPartRead = true;
    version.fileVersionLS = fixed.dwFileVersionLS;
  }
  std::wstring table = StringTablePath(block.data());
  version.fileVersion = Text(block.data(), table, L"FileVersion");
  version.description = Text(block.data(), table, L"FileDescription");
  return version;
}
