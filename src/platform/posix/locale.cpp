// The simulated user locale behind GetLocaleInfo: en-US until a test says otherwise.
#include "platform/posix/control.h"

#include <cwchar>
#include <map>
#include <mutex>
#include <set>

namespace {

constexpr LCTYPE kTypeFlags = 0x80000000u | 0x40000000u | 0x20000000u;  // override and return-number flags

std::map<LCTYPE, std::wstring> EnglishUnitedStates() {
  return {
      {LOCALE_SDECIMAL, L"."},        {LOCALE_STHOUSAND, L","},
      {LOCALE_STIME, L":"},           {LOCALE_SDATE, L"/"},
      {LOCALE_SLIST, L","},           {LOCALE_S1159, L"AM"},
      {LOCALE_S2359, L"PM"},          {LOCALE_STIMEFORMAT, L"h:mm:ss tt"},
      {LOCALE_SSHORTDATE, L"M/d/yyyy"}, {LOCALE_SLONGDATE, L"dddd, MMMM d, yyyy"},
      {LOCALE_IDEFAULTCODEPAGE, L"437"}, {LOCALE_IDEFAULTANSICODEPAGE, L"1252"},
      {LOCALE_ITIME, L"0"},           {LOCALE_ITIMEMARKPOSN, L"0"},
  };
}

struct UserLocale {
  std::mutex lock;
  std::map<LCTYPE, std::wstring> values = EnglishUnitedStates();
  std::set<LCTYPE> failing;
};

UserLocale& TheLocale() {
  static UserLocale* locale = new UserLocale;
  return *locale;
}

bool Value(LCTYPE type, std::wstring& value) {
  UserLocale& l = TheLocale();
  std::lock_guard<std::mutex> guard(l.lock);
  type &= ~kTypeFlags;
  if (l.failing.count(type)) return false;
  auto it = l.values.find(type);
  if (it == l.values.end()) return false;
  value = it->second;
  return true;
}

}  // namespace

namespace posix {

void SetLocaleValue(LCTYPE type, const std::wstring& value) {
  UserLocale& l = TheLocale();
  std::lock_guard<std::mutex> guard(l.lock);
  l.values[type] = value;
  l.failing.erase(type);
}

void FailLocaleValue(LCTYPE type) {
  UserLocale& l = TheLocale();
  std::lock_guard<std::mutex> guard(l.lock);
  l.failing.insert(type);
}

void ResetLocale() {
  UserLocale& l = TheLocale();
  std::lock_guard<std::mutex> guard(l.lock);
  l.values = EnglishUnitedStates();
  l.failing.clear();
}

}  // namespace posix

int GetLocaleInfoW(LCID, LCTYPE type, LPWSTR data, int size) {
  std::wstring value;
  if (size < 0 || (size > 0 && !data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!Value(type, value)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  int needed = static_cast<int>(value.size()) + 1;
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(data, value.c_str(), value.size() + 1);
  return needed;
}

int GetLocaleInfoA(LCID, LCTYPE type, LPSTR data, int size) {
  std::wstring value;
  if (size < 0 || (size > 0 && !data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!Value(type, value)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  int needed = WideCharToMultiByte(CP_ACP, 0, value.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return WideCharToMultiByte(CP_ACP, 0, value.c_str(), -1, data, size, nullptr, nullptr);
}

int _wtoi(const wchar_t* text) {
  if (!text) return 0;
  return static_cast<int>(std::wcstol(text, nullptr, 10));
}
