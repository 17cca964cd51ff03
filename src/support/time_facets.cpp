#include "support/time_facets.h"

#include "support/locale_info.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <string>

namespace Orx {

namespace {

constexpr int kMaxFieldDigits = 4;
constexpr int kLastMonth = 12;
constexpr int kLastDay = 31;
constexpr int kTmYearBase = 1900;
// Two-digit years: 69 to 99 are the 1900s, 00 to 68 the 2000s.
constexpr int kFirstCenturyYear = 69;

// The named locale's order, read off how it writes 22 November 2033.
template <class CharT>
std::time_base::dateorder NamedDateOrder(const char* name) {
  std::locale named(name);  // throws for a name the library does not know, as the facet must
  std::tm probe{};
  probe.tm_year = 2033 - kTmYearBase;
  probe.tm_mon = 10;
  probe.tm_mday = 22;
  std::basic_ostringstream<CharT> out;
  out.imbue(named);
  std::use_facet<std::time_put<CharT>>(named).put(out, out, out.widen(' '), &probe, 'x');
  std::basic_string<CharT> text = out.str();
  auto find = [&](const char* digits) {
    const std::basic_string<CharT> wanted{out.widen(digits[0]), out.widen(digits[1])};
    return text.find(wanted);
  };
  auto day = find("22");
  auto month = find("11");
  auto year = find("33");
  auto npos = std::basic_string<CharT>::npos;
  if (day == npos || month == npos || year == npos) return std::time_base::no_order;
  if (day < month && month < year) return std::time_base::dmy;
  if (month < day && day < year) return std::time_base::mdy;
  if (year < month && month < day) return std::time_base::ymd;
  if (year < day && day < month) return std::time_base::ydm;
  return std::time_base::no_order;
}

}  // namespace

template <class CharT, class InputIt>
time_get<CharT, InputIt>::time_get(const char* name, std::size_t refs)
    : std::time_get<CharT, InputIt>(refs), order_(NamedDateOrder<CharT>(name)), separatorGiven_(false), separator_() {}

template <class CharT, class InputIt>
time_get<CharT, InputIt>::time_get(const char* name, CharT dateSeparator, std::size_t refs)
    : std::time_get<CharT, InputIt>(refs),
      order_(NamedDateOrder<CharT>(name)),
      separatorGiven_(true),
      separator_(dateSeparator) {}

template <class CharT, class InputIt>
typename time_get<CharT, InputIt>::dateorder time_get<CharT, InputIt>::do_date_order() const {
  return order_ == std::time_base::no_order ? std::time_base::mdy : order_;
}

template <class CharT, class InputIt>
CharT time_get<CharT, InputIt>::DateSeparator() const {
  if (separatorGiven_) return separator_;
  static const CharT fromUser = static_cast<CharT>(LocaleInfo::Instance().dateSeparator[0]);
  return fromUser;
}

template <class CharT, class InputIt>
typename time_get<CharT, InputIt>::iter_type time_get<CharT, InputIt>::do_get_date(
    iter_type begin, iter_type end, std::ios_base& io, std::ios_base::iostate& state, std::tm* time) const {
  const auto& ctype = std::use_facet<std::ctype<CharT>>(io.getloc());
  const CharT user = DateSeparator();
  auto isSeparator = [&](CharT c) {
    return c == ctype.widen(':') || c == ctype.widen(',') || c == ctype.widen('/') || (user != CharT() && c == user);
  };
  auto skipSpace = [&] {
    while (begin != end && ctype.is(std::ctype_base::space, *begin)) ++begin;
  };

  std::array<int, 3> values{};
  std::array<int, 3> digits{};
  bool ok = true;
  for (size_t field = 0; field < values.size() && ok; ++field) {
    skipSpace();
    if (field > 0) {
      ok = begin != end && isSeparator(*begin);
      if (!ok) break;
      ++begin;
      skipSpace();
    }
    while (begin != end && digits[field] < kMaxFieldDigits && ctype.is(std::ctype_base::digit, *begin)) {
      values[field] = values[field] * 10 + (ctype.narrow(*begin, '0') - '0');
      ++digits[field];
      ++begin;
    }
    ok = digits[field] > 0;
  }

  if (ok) {
    size_t day = 0, month = 1, year = 2;
    switch (do_date_order()) {
      case std::time_base::dmy: day = 0, month = 1, year = 2; break;
      case std::time_base::ymd: year = 0, month = 1, day = 2; break;
      case std::time_base::ydm: year = 0, day = 1, month = 2; break;
      default: month = 0, day = 1, year = 2; break;
    }
    int y = values[year];
    if (digits[year] <= 2) y += y < kFirstCenturyYear ? 2000 : kTmYearBase;
    ok = values[month] >= 1 && values[month] <= kLastMonth && values[day] >= 1 && values[day] <= kLastDay;
    if (ok) {
      time->tm_mday = values[day];
      time->tm_mon = values[month] - 1;
      time->tm_year = y - kTmYearBase;
    }
  }
  if (!ok) state |= std::ios_base::failbit;
  if (begin == end) state |= std::ios_base::eofbit;
  return begin;
}

template class time_get<wchar_t>;

}  // namespace Orx
