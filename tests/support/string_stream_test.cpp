#include "support/numeric_facets.h"
#include "support/string_stream.h"

#include <gtest/gtest.h>

#include <locale>
#include <set>
#include <string>

namespace {

std::wstring Text(const OrxString& s) { return std::wstring(s.Chars(), s.Length()); }

// A locale that groups thousands with ",", as many user locales do.
class Grouping : public std::numpunct<wchar_t> {
 protected:
  std::string do_grouping() const override { return "\3"; }
  wchar_t do_thousands_sep() const override { return L','; }
};

TEST(StringStreamTest, PiecesFollowEachOtherWithNothingBetween) {
  Orx::OStringStream s;
  s << L"=" << -75 << L"," << 75;
  OrxString text = s.str();
  EXPECT_EQ(Text(text), L"=-75,75");
  EXPECT_EQ(text.Chars()[text.Length()], L'\0');
}

TEST(StringStreamTest, CapacityDoublesFromNine) {
  std::set<uint32_t> capacities;
  for (int n = 1; n <= 60; ++n) {
    Orx::OStringStream s;
    s << std::wstring(static_cast<size_t>(n), L'x');
    OrxString text = s.str();
    ASSERT_EQ(text.Length(), static_cast<uint32_t>(n));
    capacities.insert(text.Capacity());
  }
  EXPECT_EQ(capacities, (std::set<uint32_t>{9, 18, 36, 72}));
}

TEST(StringStreamTest, StrSharesTheBufferAndLaterWritesLeaveEarlierTextsAlone) {
  Orx::OStringStream s;
  s << L"ab";
  OrxString first = s.str();
  OrxString again = s.str();
  EXPECT_EQ(first.Chars(), again.Chars());  // no copy made
  EXPECT_EQ(first.ReferenceCount(), 3);     // two handles and the stream's own

  s << L"cd" << 12345;
  OrxString second = s.str();
  EXPECT_EQ(Text(first), L"ab");
  EXPECT_EQ(Text(second), L"abcd12345");
}

TEST(StringStreamTest, SeekingRewritesInPlace) {
  Orx::OStringStream s;
  s << L"hello";
  OrxString before = s.str();
  s.seekp(0);
  s << L"J";
  EXPECT_EQ(Text(s.str()), L"Jello");
  EXPECT_EQ(Text(before), L"hello");
  s.seekp(0, std::ios_base::end);
  s << L"!";
  EXPECT_EQ(Text(s.str()), L"Jello!");
  EXPECT_EQ(static_cast<long long>(s.tellp()), 6);
}

TEST(StringStreamTest, NoGroupingEvenUnderALocaleThatGroups) {
  std::locale grouping(std::locale::classic(), new Grouping);
  Orx::OStringStream grouped;
  grouped.imbue(grouping);
  grouped << 32000;
  ASSERT_EQ(Text(grouped.str()), L"32,000");  // the premise

  Orx::OStringStream plain;
  plain.imbue(std::locale(grouping, new NoThousandsSep<wchar_t>("C")));
  plain << 32000 << L' ' << -1234567;
  EXPECT_EQ(Text(plain.str()), L"32000 -1234567");

  std::ostringstream narrow;
  narrow.imbue(std::locale(std::locale::classic(), new NoThousandsSep<char>("C")));
  narrow << 32000;
  EXPECT_EQ(narrow.str(), "32000");
}

TEST(StringStreamTest, UserRadixFacetWritesTheGivenDecimalPointWithoutGrouping) {
  Orx::OStringStream s;
  s.imbue(std::locale(std::locale::classic(), new CRTBug_UserRadix_NoThousandsSep<wchar_t>("C", L',', L'.')));
  s << 1.5 << L' ' << 32000;
  EXPECT_EQ(Text(s.str()), L"1,5 32000");
}

}  // namespace
