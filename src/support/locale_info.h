// The user's regional settings, one record per process, built on first use. Building it also
// installs the standard-library global locale (no digit grouping, the user's date separator),
// sets the runtime library's numeric locale and may warn once about unusual settings.
#pragma once

#include "support/orx_string.h"

#include <cstdint>

class HostStringSlots;

class LocaleInfo {
 public:
  static constexpr int kSeparatorSize = 8;
  static constexpr int kDesignatorSize = 16;

  static LocaleInfo& Instance();

  // A record of its own, for tests: built exactly as Instance() is, with the host strings of
  // slots. Like Instance() it changes the process's locales when the numeric locale is "C".
  explicit LocaleInfo(HostStringSlots& slots);
  virtual ~LocaleInfo();
  LocaleInfo(const LocaleInfo&) = delete;
  LocaleInfo& operator=(const LocaleInfo&) = delete;

  char decimalSeparatorA[kSeparatorSize] = {0};
  wchar_t decimalSeparator[kSeparatorSize] = {0};
  wchar_t thousandsSeparator[kSeparatorSize] = {0};
  wchar_t timeSeparator[kSeparatorSize] = {0};
  wchar_t dateSeparator[kSeparatorSize] = {0};
  wchar_t listSeparator[kSeparatorSize] = {0};
  wchar_t amDesignator[kDesignatorSize] = {0};
  wchar_t pmDesignator[kDesignatorSize] = {0};
  OrxString timeFormat;
  OrxString shortDateFormat;
  OrxString longDateFormat;
  // The message code page: the locale's default OEM code page; 0 (the system ANSI code page)
  // when it cannot be read.
  uint16_t codePage = 0;
  bool clock24Hour = false;
  bool timeMarkerLeads = false;
  bool globalLocaleInstalled = false;

 private:
  bool ReadSettings();
  OrxString PendingWarning(HostStringSlots& slots) const;
};
