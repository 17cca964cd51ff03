#include "recording/text_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace recording {

namespace {
constexpr char kValueSeparators[] = ",;\t";
constexpr size_t kLongestNumber = 64;
}  // namespace

char SeparatorOf(std::string_view header) {
  char separator = kSpaces;
  long most = 0;
  for (const char* c = kValueSeparators; *c; ++c) {
    long count = std::count(header.begin(), header.end(), *c);
    if (count > most) {
      most = count;
      separator = *c;
    }
  }
  return separator;
}

std::string_view TrimmedView(std::string_view text, std::string_view strip) {
  size_t first = text.find_first_not_of(strip);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(strip) - first + 1);
}

void Split(std::string_view line, char separator, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t at = 0;
  while (at <= line.size()) {
    if (separator == kSpaces) {
      at = line.find_first_not_of(kBlanks, at);
      if (at == std::string_view::npos) break;
    }
    size_t end = separator == kSpaces ? line.find_first_of(kBlanks, at) : line.find(separator, at);
    if (end == std::string_view::npos) end = line.size();
    fields.push_back(TrimmedView(TrimmedView(line.substr(at, end - at)), "\""));
    at = end + 1;
  }
}

bool ReadDecimal(std::string_view text, bool decimalComma, double& value) {
  char copy[kLongestNumber];
  if (decimalComma && text.find(',') != std::string_view::npos) {
    if (text.size() > sizeof copy) return false;
    std::replace_copy(text.begin(), text.end(), copy, ',', '.');
    text = std::string_view(copy, text.size());
  }
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  auto result = std::from_chars(begin, end, value);
  return begin != end && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

}  // namespace recording
