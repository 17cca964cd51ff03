// String resources of the host application's executable: the warnings about regional settings
// and the texts of the application-defined result codes are the host's, not the plug-in's.
#pragma once

#include "platform/win32.h"
#include "support/orx_string.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Answers the language of the host's application object, or false when there is none. Without
// a query (the default) host strings come in the default language.
using HostLanguageQuery = bool (*)(WORD* language);
void SetHostLanguageQuery(HostLanguageQuery query);

// Names of the host's products in its texts: every token is replaced by its value, in table
// order. Empty by default.
using ProductTerms = std::vector<std::pair<std::wstring, std::wstring>>;
void SetProductTerms(ProductTerms terms);

// String id of the host's main executable; empty when it has none.
OrxString LoadHostString(UINT id);

// Host strings each fetched once, on first need, and kept as long as the slots live.
class HostStringSlots {
 public:
  static HostStringSlots& Process();  // until the plug-in is unloaded

  HostStringSlots() = default;
  HostStringSlots(const HostStringSlots&) = delete;
  HostStringSlots& operator=(const HostStringSlots&) = delete;

  OrxString Get(UINT id);

 private:
  std::mutex lock_;
  std::map<UINT, OrxString> fetched_;
};
