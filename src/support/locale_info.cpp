#include "support/locale_info.h"

#include "platform/win32.h"

namespace {
constexpr int kNumberBufferSize = 8;
}

LocaleInfo& LocaleInfo::Instance() {
  // Built once even when two host threads ask at the same moment.
  static LocaleInfo instance;
  return instance;
}

LocaleInfo::LocaleInfo() {
  wchar_t number[kNumberBufferSize] = {0};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTCODEPAGE, number, kNumberBufferSize) > 0)
    codePage = static_cast<uint16_t>(_wtoi(number));
}

LocaleInfo::~LocaleInfo() = default;
