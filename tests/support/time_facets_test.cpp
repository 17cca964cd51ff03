#include "support/time_facets.h"

#include <gtest/gtest.h>

#include <ctime>
#include <locale>
#include <sstream>

namespace {

struct Parsed {
  bool ok;
  std::tm time;
};

Parsed ParseDate(const wchar_t* text, wchar_t userSeparator) {
  std::wistringstream in(text);
  in.imbue(std::locale(std::locale::classic(), new Orx::time_getEx<wchar_t>("C", userSeparator)));
  std::tm time{};
  std::ios_base::iostate state = std::ios_base::goodbit;
  std::use_facet<std::time_get<wchar_t>>(in.getloc())
      .get_date(std::istreambuf_iterator<wchar_t>(in), std::istreambuf_iterator<wchar_t>(), in, state, &time);
  return {!(state & std::ios_base::failbit), time};
}

TEST(TimeFacetTest, AcceptsTheFixedSeparatorsAndTheUsersOwnInMonthDayYearOrder) {
  for (const wchar_t* text : {L"11/22/2033", L"11:22:2033", L"11,22,2033", L"11.22.2033", L" 11 . 22 . 33"}) {
    Parsed date = ParseDate(text, L'.');
    ASSERT_TRUE(date.ok) << text;
    EXPECT_EQ(date.time.tm_mon, 10) << text;
    EXPECT_EQ(date.time.tm_mday, 22) << text;
    EXPECT_EQ(date.time.tm_year, 133) << text;
  }
  EXPECT_EQ(ParseDate(L"1/2/99", 0).time.tm_year, 99);  // two digits before 69 are this century
  EXPECT_FALSE(ParseDate(L"11-22-2033", L'.').ok);
  EXPECT_FALSE(ParseDate(L"13/22/2033", L'.').ok);
  EXPECT_FALSE(ParseDate(L"11/", L'.').ok);
}

}  // namespace
