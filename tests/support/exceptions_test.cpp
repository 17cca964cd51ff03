#include "support/exceptions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Text(const OrxString& s) { return std::wstring(s.Chars(), s.Length()); }

std::wstring RawSystemText(DWORD id) {
  wchar_t buffer[512] = {0};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, id, 0x400, buffer,
                           511, nullptr);
  return std::wstring(buffer, n);
}

constexpr HRESULT FromWin32(DWORD error) { return static_cast<HRESULT>(0x80070000u | error); }

TEST(MessageForCodeTest, SystemTextBecomesOneSentence) {
  std::wstring raw = RawSystemText(ERROR_FILE_NOT_FOUND);
  ASSERT_GE(raw.size(), 3u);
  ASSERT_EQ(raw.substr(raw.size() - 3), L".\r\n");  // the premise

  // A Windows error passes only its low word to the system.
  std::wstring text = Text(MessageForCode(FromWin32(ERROR_FILE_NOT_FOUND)));
  EXPECT_EQ(text, raw.substr(0, raw.size() - 2));
  EXPECT_EQ(Text(MessageForCode(ERROR_FILE_NOT_FOUND)), text);
}

TEST(MessageForCodeTest, HostCodesWithoutAnEntryAreEmpty) {
  for (uint32_t code : {0xA004820Au, 0xA004820Fu, 0xA0048210u, 0xA0048211u, 0xA0048280u, 0xA00481FFu})
    EXPECT_EQ(Text(MessageForCode(static_cast<HRESULT>(code))), L"") << std::hex << code;
}

TEST(MessageForCodeTest, CodesWithoutSystemTextStillGetASentence) {
  EXPECT_EQ(Text(MessageForCode(static_cast<HRESULT>(0xA1230001u))), L"Unknown error 0xA1230001.");
}

TEST(XOrxTest, WhatIsStableAndCopiesShareTheMessage) {
  XOrx error(E_FAIL, OrxString(L"Broken pipe dream"));
  const char* first = error.what();
  EXPECT_STREQ(first, "Broken pipe dream");
  EXPECT_EQ(error.what(), first);

  XOrx copy(error);
  EXPECT_EQ(copy.message().Chars(), error.message().Chars());
  EXPECT_EQ(copy.code(), E_FAIL);
}

TEST(XOrxTest, ThrowXOrxCarriesTheCodeAndItsText) {
  try {
    ThrowXOrx(FromWin32(ERROR_ACCESS_DENIED));
    FAIL() << "nothing thrown";
  } catch (const XOrx& e) {
    EXPECT_EQ(e.code(), FromWin32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Text(e.message()), Text(MessageForCode(FromWin32(ERROR_ACCESS_DENIED))));
    EXPECT_FALSE(e.message().IsEmpty());
  }
}

}  // namespace
