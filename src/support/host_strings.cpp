#include "support/host_strings.h"

#include <atomic>
#include <cstring>

namespace {

constexpr UINT kStringsPerBlock = 16;

std::atomic<HostLanguageQuery> languageQuery{nullptr};

struct TermTable {
  std::mutex lock;
  ProductTerms terms;
};

TermTable& Terms() {
  static TermTable table;
  return table;
}

// Entry index of a string-table block: 16 strings, each a 16-bit count and that many UTF-16 units.
OrxString EntryOf(HMODULE module, HRSRC block, UINT index) {
  if (!block) return OrxString();
  HGLOBAL loaded = LoadResource(module, block);
  const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  const size_t size = data ? SizeofResource(module, block) : 0;
  size_t at = 0;
  for (UINT entry = 0; at + sizeof(uint16_t) <= size; ++entry) {
    uint16_t length = 0;
    std::memcpy(&length, data + at, sizeof length);
    at += sizeof length;
    if (length > (size - at) / sizeof(uint16_t)) break;  // a block cut short
    if (entry == index) {
      std::wstring text(length, L'\0');
      for (uint16_t i = 0; i < length; ++i) {
        uint16_t unit = 0;
        std::memcpy(&unit, data + at + i * sizeof unit, sizeof unit);
        text[i] = static_cast<wchar_t>(unit);
      }
      return OrxString(text.c_str(), static_cast<int>(length));
    }
    at += length * sizeof(uint16_t);
  }
  return OrxString();
}

OrxString WithProductTerms(const OrxString& text) {
  TermTable& table = Terms();
  std::lock_guard<std::mutex> guard(table.lock);
  if (table.terms.empty() || text.IsEmpty()) return text;
  std::wstring result(text.Chars(), text.Length());
  for (const auto& term : table.terms) {
    if (term.first.empty()) continue;
    for (size_t at = result.find(term.first); at != std::wstring::npos;
         at = result.find(term.first, at + term.second.size()))
      result.replace(at, term.first.size(), term.second);
  }
  return OrxString(result.c_str());
}

}  // namespace

void SetHostLanguageQuery(HostLanguageQuery query) { languageQuery.store(query); }

void SetProductTerms(ProductTerms terms) {
  TermTable& table = Terms();
  std::lock_guard<std::mutex> guard(table.lock);
  table.terms = std::move(terms);
}

OrxString LoadHostString(UINT id) {
  HMODULE host = GetModuleHandleW(nullptr);
  LPCWSTR block = MAKEINTRESOURCEW(id / kStringsPerBlock + 1);
  const UINT index = id % kStringsPerBlock;
  OrxString text;
  WORD language = 0;
  HostLanguageQuery query = languageQuery.load();
  if (query && query(&language)) text = EntryOf(host, FindResourceExW(host, RT_STRING, block, language), index);
  if (text.IsEmpty()) text = EntryOf(host, FindResourceW(host, block, RT_STRING), index);
  return WithProductTerms(text);
}

HostStringSlots& HostStringSlots::Process() {
  static HostStringSlots slots;
  return slots;
}

OrxString HostStringSlots::Get(UINT id) {
  std::lock_guard<std::mutex> guard(lock_);
  auto found = fetched_.find(id);
  if (found != fetched_.end()) return found->second;
  OrxString text = LoadHostString(id);
  fetched_.emplace(id, text);
  return text;
}
