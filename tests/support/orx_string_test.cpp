#include "support/orx_string.h"

#include "support/exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring Text(const OrxString& s) { return std::wstring(s.Chars(), s.Length()); }
std::string Bytes(const std::vector<char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(OrxStringTest, EveryEmptyStringSharesOneRepresentationOfCapacityNine) {
  OrxString byDefault;
  OrxString fromWide(L"");
  OrxString fromNarrow("");
  OrxString fromNull(static_cast<const wchar_t*>(nullptr), 3);
  for (const OrxString* s : {&fromWide, &fromNarrow, &fromNull}) EXPECT_EQ(s->Chars(), byDefault.Chars());
  EXPECT_EQ(byDefault.Length(), 0u);
  EXPECT_EQ(byDefault.Capacity(), 9u);
  EXPECT_GT(byDefault.ReferenceCount(), 4);  // four handles plus its own reference
}

TEST(OrxStringTest, CapacityGrowsByHalfOnAppendAndExactlyOnInsert) {
  OrxString s(L"a");
  EXPECT_EQ(s.Capacity(), 8u);
  const wchar_t* before = s.Chars();
  s.Append(L"b");
  EXPECT_EQ(s.Chars(), before);  // fits: changed in place

  OrxString t(L"a");
  t.Append(L"bcdefghijklmnopqrstu");  // 22 with the terminator
  EXPECT_EQ(t.Capacity(), 33u);
  EXPECT_EQ(Text(t), L"abcdefghijklmnopqrstu");

  OrxString u(L"abcdefg");
  u.Replace(3, 0, OrxString(L"XY"));
  EXPECT_EQ(Text(u), L"abcXYdefg");
  EXPECT_EQ(u.Capacity(), 10u);

  OrxString empty;
  empty += L"abc";  // a private copy of the empty representation, which has room
  EXPECT_EQ(empty.Capacity(), 9u);
}

TEST(OrxStringTest, CopiesShareUntilOneChanges) {
  OrxString a(L"abc");
  OrxString b = a;
  EXPECT_EQ(a.Chars(), b.Chars());
  EXPECT_EQ(a.ReferenceCount(), 2);
  b.Append(L"d");
  EXPECT_EQ(Text(a), L"abc");
  EXPECT_EQ(Text(b), L"abcd");
  EXPECT_EQ(a.ReferenceCount(), 1);
  EXPECT_EQ(b.ReferenceCount(), 1);

  // Sources inside the string itself survive the growth that frees the old block.
  OrxString c(L"abcde");
  const OrxString& alias = c;
  c = alias;
  c.Append(alias);
  EXPECT_EQ(Text(c), L"abcdeabcde");
  c.Append(c.Chars() + 3);
  EXPECT_EQ(Text(c), L"abcdeabcdedeabcde");
  c = c.Chars() + 10;
  EXPECT_EQ(Text(c), L"deabcde");
}

TEST(OrxStringTest, HandlesOfOneTextAreCopiedAndReleasedOnManyThreads) {
  OrxString shared(L"shared");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&shared] {
      for (int i = 0; i < 20000; ++i) OrxString copy(shared);
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(shared.ReferenceCount(), 1);
}

TEST(OrxStringTest, PointerAndCountStopsAtZeroAndRefusesNegativeCounts) {
  OrxString s(L"ab\0xyz", 5);
  EXPECT_EQ(Text(s), L"ab");
  EXPECT_EQ(s.Capacity(), 8u);
  EXPECT_EQ(Text(OrxString(L"abcdef", 2)), L"ab");
  try {
    OrxString bad(L"ab", -1);
    FAIL() << "no exception";
  } catch (const xmsg& e) {
    EXPECT_STREQ(e.what(), "Orx::String size too big");
  }
}

TEST(OrxStringTest, EraseReplaceMidAndTrim) {
  OrxString s(L"abcdef");
  s.Erase(3, 3);
  s.Erase(1, 3);
  EXPECT_EQ(Text(s), L"adef");
  s.Erase(2, 100);
  EXPECT_EQ(Text(s), L"ad");
  s.Replace(2, 5, OrxString(L"!"));  // at the end: an append
  s.Replace(0, 1, OrxString(L"XYZ"));
  EXPECT_EQ(Text(s), L"XYZd!");
  s.Replace(1, 100, OrxString());
  EXPECT_EQ(Text(s), L"X");

  OrxString five(L"abcde");
  EXPECT_TRUE(five.Mid(10, 2).IsEmpty());
  EXPECT_TRUE(five.Mid(5, 1).IsEmpty());
  EXPECT_EQ(Text(five.Mid(3, 100)), L"de");

  OrxString trimmed = OrxString(L"   ").Trim();
  EXPECT_TRUE(trimmed.IsEmpty());
  EXPECT_EQ(trimmed.Capacity(), 9u);
  EXPECT_EQ(Text(OrxString(L" a ").Trim()), L"a");
  EXPECT_EQ(Text(OrxString(L"\t x y\r\n").Trim()), L"x y");
}

TEST(OrxStringTest, BuffersAndExplicitCapacities) {
  OrxString s(L"old text");
  s.Utf8();
  wchar_t* buffer = s.GetBuffer(20);
  EXPECT_EQ(s.Capacity(), 21u);
  std::wcscpy(buffer, L"new");
  s.ReleaseBuffer();
  EXPECT_EQ(Text(s), L"new");
  EXPECT_STREQ(s.Utf8(), "new");

  EXPECT_EQ(s.GetBuffer(5), buffer);  // unshared with room: reused
  std::wmemset(buffer, L'x', s.Capacity());  // no terminator written at all
  s.ReleaseBuffer();
  EXPECT_EQ(s.Length(), 20u);

  s.ReserveExactly(50);
  EXPECT_EQ(s.Capacity(), 50u);
  EXPECT_EQ(s.Length(), 20u);
  s.ResetWithCapacity(3);
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(s.Capacity(), 8u);
}

TEST(OrxStringTest, NarrowViewsFollowChanges) {
  OrxString s(L"caf\u00e9");
  EXPECT_STREQ(s.Utf8(), "caf\xC3\xA9");
  s.Erase(3, 4);
  EXPECT_STREQ(s.Utf8(), "caf");
  EXPECT_STREQ(s.Ansi(), "caf");
  s += L"!";
  EXPECT_STREQ(s.Ansi(), "caf!");
  EXPECT_STREQ(OrxString().Ansi(), "");
  EXPECT_EQ(Text(OrxString("narrow")), L"narrow");
}

// The same bytes that Windows produces, so the iconv layer is checked against Wine.
TEST(TextConversionTest, WideToNarrowInCodePages) {
  struct Case {
    unsigned codePage;
    const wchar_t* text;
    const char* bytes;
  };
  for (const Case& c : {Case{1252, L"\u00e9\u20ac", "\xE9\x80"}, Case{437, L"\u00e9\u00c7", "\x82\x80"},
                        Case{850, L"\u00e9\u00f8", "\x82\x9B"}, Case{932, L"\u65e5\u672c", "\x93\xFA\x96\x7B"},
                        Case{65001, L"\u00e9\u65e5", "\xC3\xA9\xE6\x97\xA5"}, Case{1252, L"a\u4e00", "a?"}}) {
    std::vector<char> bytes(10, 'x');
    EXPECT_TRUE(WideToNarrow(c.text, static_cast<uint32_t>(std::wcslen(c.text)), bytes, c.codePage));
    EXPECT_EQ(Bytes(bytes), std::string(c.bytes) + '\0') << c.codePage;
  }
  std::vector<char> bytes(4, 'x');
  EXPECT_FALSE(WideToNarrow(L"", 0, bytes, 1252));
  EXPECT_EQ(Bytes(bytes), std::string(1, '\0'));
}

// How a message reaches the host: the size is the wide length plus one.
TEST(TextConversionTest, MessageReadsIntoTheHostsBuffer) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  OrxString empty;
  EXPECT_FALSE(WideToNarrowBuffer(empty, buffer, empty.Length() + 1, 1252));
  EXPECT_EQ(std::string(buffer, sizeof buffer), "########");

  OrxString ascii(L"Lost");
  EXPECT_TRUE(WideToNarrowBuffer(ascii, buffer, ascii.Length() + 1, 437));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("Lost\0###", 8));
  EXPECT_FALSE(WideToNarrowBuffer(ascii, nullptr, 5, 437));

  OrxString japanese(L"\u65e5\u672c");  // four bytes in 932, room for three
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_TRUE(WideToNarrowBuffer(japanese, buffer, japanese.Length() + 1, 932));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("\x93\xFA\0#####", 8));
}

TEST(TextConversionTest, NarrowToWide) {
  OrxString text(L"unchanged");
  EXPECT_FALSE(NarrowToWide({}, text, 1252));
  EXPECT_EQ(Text(text), L"unchanged");
  EXPECT_TRUE(NarrowToWide({'\x93', '\xFA', '\x96', '\x7B'}, text, 932));
  EXPECT_EQ(Text(text), L"\u65e5\u672c");

  // Resource text: a zero byte ends it, wherever the stated length ends.
  const char resource[] = "line\0hidden";
  EXPECT_TRUE(NarrowBufferToWide(resource, text, 1252, sizeof resource - 1));
  EXPECT_EQ(Text(text), L"line");
  EXPECT_TRUE(NarrowBufferToWide("\x82\x9B tail", text, 850, 2));
  EXPECT_EQ(Text(text), L"\u00e9\u00f8");
  EXPECT_TRUE(NarrowBufferToWide("\xC3\xA9!", text, 65001, 0));
  EXPECT_EQ(Text(text), L"\u00e9!");
  EXPECT_TRUE(NarrowBufferToWide("", text, 437, 0));
  EXPECT_TRUE(text.IsEmpty());
}

}  // namespace
