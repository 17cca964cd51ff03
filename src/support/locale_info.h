// The user's regional settings, one record per process, built on first use.
#pragma once

#include <cstdint>

class LocaleInfo {
 public:
  static LocaleInfo& Instance();
  virtual ~LocaleInfo();

  // The message code page: the user locale's default OEM code page, 0 when it cannot be read
  // (0 then means the system ANSI code page).
  uint16_t codePage = 0;

 private:
  LocaleInfo();
};
