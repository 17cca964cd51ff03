#include "plugin/message_quotes.h"

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

namespace MessageQuotes {

namespace {

struct Table {
  std::mutex lock;
  std::map<std::pair<DWORD, int>, MessageQuote> quotes;
  // The calls of every export look for a quote to spend: most find none without the lock.
  std::atomic<size_t> held{0};
};

Table& TheTable() {
  static auto* table = new Table;  // threads end, and exports run, while static destructors do
  return *table;
}

}  // namespace

void Keep(int index, const MessageQuote& quote) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  t.quotes[{GetCurrentThreadId(), index}] = quote;
  t.held.store(t.quotes.size(), std::memory_order_release);
}

bool Take(int index, MessageQuote& quote) {
  Table& t = TheTable();
  if (t.held.load(std::memory_order_acquire) == 0) return false;
  std::lock_guard<std::mutex> guard(t.lock);
  auto found = t.quotes.find({GetCurrentThreadId(), index});
  if (found == t.quotes.end()) return false;
  quote = std::move(found->second);
  t.quotes.erase(found);
  t.held.store(t.quotes.size(), std::memory_order_release);
  return true;
}

void Spend(int index) {
  MessageQuote spent;
  Take(index, spent);
}

void ForgetThread(DWORD thread) {
  Table& t = TheTable();
  if (t.held.load(std::memory_order_acquire) == 0) return;
  std::lock_guard<std::mutex> guard(t.lock);
  t.quotes.erase(t.quotes.lower_bound({thread, INT32_MIN}), t.quotes.upper_bound({thread, INT32_MAX}));
  t.held.store(t.quotes.size(), std::memory_order_release);
}

size_t ThreadsHeld() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  size_t threads = 0;
  DWORD last = 0;
  for (const auto& entry : t.quotes) {
    if (threads == 0 || entry.first.first != last) ++threads;
    last = entry.first.first;
  }
  return threads;
}

}  // namespace MessageQuotes
