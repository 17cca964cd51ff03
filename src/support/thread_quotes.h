// What each host thread was last told about a message, kept until it reads. A host that starts
// thread after thread, each asking and never reading, must not grow it without end.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <map>
#include <utility>

constexpr size_t kQuotedThreadsKept = 64;

template <typename Quote>
void KeepQuote(std::map<DWORD, Quote>& quotes, DWORD thread, Quote quote) {
  if (quotes.size() >= kQuotedThreadsKept && !quotes.count(thread)) quotes.erase(quotes.begin());
  quotes[thread] = std::move(quote);
}
