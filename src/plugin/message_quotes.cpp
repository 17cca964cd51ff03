#include "plugin/message_quotes.h"

#include "support/thread_quotes.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

// Longer than any message: 255 characters of at most two bytes each, and the terminator.
constexpr size_t kScratchBytes = 4096;

struct Quotes {
  std::mutex lock;
  std::map<DWORD, int> sizes;
};

Quotes& TheQuotes() {
  static auto* quotes = new Quotes;  // exports may run while static destructors do
  return *quotes;
}

}  // namespace

int DeliverWithinQuote(char* buffer, const std::function<int(char*)>& deliver) {
  Quotes& q = TheQuotes();
  const DWORD thread = GetCurrentThreadId();
  if (!buffer) {
    int size = deliver(nullptr);
    std::lock_guard<std::mutex> guard(q.lock);
    KeepQuote(q.sizes, thread, size);
    return size;
  }
  int quoted = 0;
  {
    std::lock_guard<std::mutex> guard(q.lock);
    auto found = q.sizes.find(thread);
    if (found != q.sizes.end()) {
      quoted = found->second;
      q.sizes.erase(found);
    }
  }
  if (quoted <= 0) return deliver(buffer);  // never told: as a host that knows its buffer is big enough
  std::vector<char> scratch(kScratchBytes, '\0');
  int size = deliver(scratch.data());
  int written = std::min(size, quoted);
  if (written <= 0) return 0;
  std::memcpy(buffer, scratch.data(), static_cast<size_t>(written));
  buffer[written - 1] = '\0';
  return written;
}
