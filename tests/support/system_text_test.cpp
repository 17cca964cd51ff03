#include "support/system_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Text(const OrxString& s) { return std::wstring(s.Chars(), s.Length()); }

TEST(SystemTextTest, KeepsTheLineBreakAndFailsRatherThanCut) {
  std::wstring text = Text(SystemText(ERROR_ACCESS_DENIED, 511));
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(text.size() - 2), L"\r\n");
  EXPECT_EQ(Text(SystemText(ERROR_ACCESS_DENIED, 5)), L"");

  wchar_t small[5] = {0};
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                           0x400, small, 5, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(SystemTextTest, UnknownNumbersHaveNoText) {
  EXPECT_EQ(Text(SystemText(0xA1230001u, 511)), L"");
  EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
}

}  // namespace
