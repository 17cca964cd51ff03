#include "support/format_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Text(const OrxString& s) { return std::wstring(s.Chars(), s.Length()); }

template <typename... Arguments>
std::wstring Format(const wchar_t* format, const Arguments&... arguments) {
  Orx::OFormatStringStream stream{OrxString(format)};
  ((stream << arguments << Orx::endarg), ...);
  return Text(stream.str());
}

TEST(FormatStreamTest, ArgumentsFillPlaceholdersByNumberWhereverTheyStand) {
  EXPECT_EQ(Format(L"%2 before %1", L"first", 2), L"2 before first");
  // A later placeholder of the same number takes the argument; the earlier one is dropped.
  EXPECT_EQ(Format(L"[%1][%1]", L"x"), L"[][x]");
}

TEST(FormatStreamTest, BackslashEndsAPlaceholderSoDigitsMayFollow) {
  EXPECT_EQ(Format(L"%1\\23 kg", 75), L"7523 kg");
  EXPECT_EQ(Format(L"%12", L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i", L"j", L"k", L"twelfth"), L"twelfth");
}

TEST(FormatStreamTest, EscapedPercentCollapsesOnlyAroundPlaceholders) {
  EXPECT_EQ(Format(L"100%%%1", L" sure"), L"100% sure");
  EXPECT_EQ(Format(L"%1 is 50%%", 7), L"7 is 50%");
  Orx::OFormatStringStream noPlaceholder{OrxString(L"100%%")};
  EXPECT_EQ(Text(noPlaceholder.str()), L"100%%");  // complete at once, unchanged
  EXPECT_EQ(Format(L"%0 and % %1", L"x"), L"%0 and % x");  // no number: plain text
}

TEST(FormatStreamTest, ArgumentsWithoutPlaceholderAreDropped) {
  EXPECT_EQ(Format(L"<%1|%3>", L"one", L"two", L"three"), L"<one|three>");
}

TEST(FormatStreamTest, OutputComesOnceTheHighestArgumentHasEnded) {
  Orx::OFormatStringStream stream{OrxString(L"%1-%2")};
  stream << L"a" << Orx::endarg;
  EXPECT_EQ(Text(stream.str()), L"");
  stream << L"b" << Orx::endarg;
  stream << L"ignored" << Orx::endarg;
  EXPECT_EQ(Text(stream.str()), L"a-b");
}

TEST(FormatStreamTest, OnlyTwentyPlaceholdersAreFilled) {
  std::wstring format;
  for (int n = 1; n <= 21; ++n) format += L"%" + std::to_wstring(n) + L"\\.";
  Orx::OFormatStringStream stream{OrxString(format.c_str())};
  std::wstring expected;
  for (int n = 1; n <= 21; ++n) {
    stream << n * 100 << Orx::endarg;
    expected += n <= 20 ? std::to_wstring(n * 100) + L"." : L"%21\\.";
  }
  EXPECT_EQ(Text(stream.str()), expected);

  // Numbers beyond twenty make no record; the text is written once, however many arguments come.
  std::wstring high = Format(L"only %21", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21);
  EXPECT_EQ(high, L"only %21");
}

}  // namespace
