// The control lists as the command handlers load them from the plug-in's own module.
#include "device/dev_orx_hid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Load(uint16_t id) {
  OrxString text(L"stale");
  Kestrel::DevOrxHID::LoadTextResource(id, text);
  return std::wstring(text.Chars(), text.Length());
}

size_t Count(const std::wstring& text, const std::wstring& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::wstring::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

TEST(TextResource, DeviceControlListIsServedByteForByte) {
  std::wstring list = Load(105);
  ASSERT_EQ(list.size(), 1678u);
  EXPECT_EQ(list.rfind(L"/*\r\n * PlankScale Device Control List\r\n", 0), 0u);
  EXPECT_EQ(Count(list, L"\r\n"), 61u) << "60 lines and an empty 61st";
  EXPECT_EQ(Count(list, L"\n"), 61u) << "no bare line feeds";
  EXPECT_EQ(list.find(L'\t'), std::wstring::npos);
  std::vector<std::wstring> lines;
  for (size_t start = 0, end; (end = list.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
    lines.push_back(list.substr(start, end - start));
  ASSERT_EQ(lines.size(), 61u);
  EXPECT_EQ(lines[25], L"  ");
  EXPECT_EQ(lines[43], L"\"&Don't show this message again\", checkbox, BattDontTell(8,50,120,12), ");
  EXPECT_EQ(lines[56], L"   ");
  EXPECT_EQ(lines[59], L"} // Batt warning ");
  EXPECT_EQ(lines[60], L"");
  EXPECT_EQ(list.substr(list.size() - 22), L"} // Batt warning \r\n\r\n");
}

TEST(TextResource, InputAmpControlList) {
  std::wstring list = Load(107);
  ASSERT_EQ(list.size(), 381u);
  EXPECT_EQ(list.rfind(L"/*\r\n * PlankScale Input Amp Control List\r\n", 0), 0u);
  EXPECT_NE(list.find(L"{  eng, \"Wii Balance Board\" },"), std::wstring::npos);
  EXPECT_EQ(list.substr(list.size() - 3), L"}\r\n");
}

TEST(TextResource, MissingResourceGivesEmptyText) {
  EXPECT_TRUE(Load(999).empty());
  EXPECT_TRUE(Load(106).empty());
}

}  // namespace
