// The command interpreter and the helpers of the device's command handlers.
#include "testing/fake_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Kestrel::DevOrxHID;
using testing_support::FakeDevice;

class Interpreter : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device.InitialiseWithoutReader()); }

  // Every reply line that the command line produced, each with its line feed.
  std::string Reply(const std::string& line) {
    std::string text = line + "\n";
    device.WriteBuffer(text.data(), static_cast<int>(text.size()), 0);
    std::string replies;
    char buffer[300];
    while (device.ReadLine(buffer, sizeof buffer, 0)) replies += std::string(buffer) + "\n";
    return replies;
  }

  FakeDevice device{nullptr, L"Board", L"1"};
};

TEST_F(Interpreter, ChannelCountForEitherPrefix) {
  EXPECT_EQ(Reply(">in/nachans"), "=4\n");
  EXPECT_EQ(Reply("?in/nachans"), "=4\n");
  EXPECT_EQ(Reply(">in/nachans/extra"), "=4\n") << "text after the word is not examined";
}

TEST_F(Interpreter, UnrecognisedLines) {
  for (const char* line : {">IN/nachans", ">in/NACHANS", " >in/nachans", ">in", "", ">", "in/nachans",
                           ">inx/nachans", ">in/nachans2", ">in /nachans", ">in/sampler", ">in/sampler/go"})
    EXPECT_EQ(Reply(line), "^Eh?\n") << '"' << line << '"';
}

TEST_F(Interpreter, HandOverToTheDevice) {
  EXPECT_EQ(Reply(">in/sampler/start"), "<OK\n");
  EXPECT_TRUE(device.IsSampling());
  EXPECT_EQ(Reply("?in/sampler/stop"), "<OK\n");
  EXPECT_FALSE(device.IsSampling());

  EXPECT_EQ(Reply(">dev/bb_keepPaired 1"), "^Eh?\n") << "the device refused it";
  EXPECT_EQ(device.lastArguments, "bb_keepPaired 1");
  Reply(">dev");
  EXPECT_EQ(device.lastArguments, "");
  Reply(">dev/a/b");
  EXPECT_EQ(device.lastArguments, "a/b") << "arguments keep their own slashes";

  EXPECT_EQ(Reply(">in/controllist"), "") << "accepted without any reply";
}

TEST_F(Interpreter, ChannelNumbersComeFromCharactersFourAndFive) {
  struct Case {
    const char* line;
    int channel;
    const char* arguments;
  };
  const Case cases[] = {
      {">in/cha1/on", 1, "on"},  {">in/cha12", 12, ""},        {">in/cha123/x", 12, "x"},
      {">in/cha3/", 3, ""},      {">in/cha2/a/b", 2, "a/b"},    {">in/chaAB", 10 * ('A' - '0') + ('B' - '0'), ""},
      {">in/cha", '\0' - '0', ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Reply(c.line), "<OK\n") << c.line;
    EXPECT_EQ(device.lastChannel, c.channel) << c.line;
    EXPECT_EQ(device.lastArguments, c.arguments) << c.line;
  }
}

TEST(NextToken, SplitsAtTheFirstSlash) {
  char word[260];
  EXPECT_EQ(DevOrxHID::NextToken("abc/def/g", word), 4);
  EXPECT_STREQ(word, "abc");
  EXPECT_EQ(DevOrxHID::NextToken("abc", word), 4) << "the terminator counts";
  EXPECT_STREQ(word, "abc");
  EXPECT_EQ(DevOrxHID::NextToken("/x", word), 1);
  EXPECT_STREQ(word, "");
  EXPECT_EQ(DevOrxHID::NextToken("", word), 1);
  EXPECT_STREQ(word, "");
}

TEST(NextToken, WritesAtMost260Bytes) {
  struct {
    char word[260];
    char guard[16];
  } out;
  std::memset(&out, 'G', sizeof out);

  std::string text(300, 'w');
  EXPECT_EQ(DevOrxHID::NextToken(text.c_str(), out.word), 301);
  EXPECT_EQ(std::strlen(out.word), 259u);
  EXPECT_EQ(std::string(out.guard, sizeof out.guard), std::string(sizeof out.guard, 'G'));

  text = std::string(259, 'w') + "/rest";
  EXPECT_EQ(DevOrxHID::NextToken(text.c_str(), out.word), 260);
  EXPECT_EQ(std::strlen(out.word), 259u);

  text = std::string(258, 'w') + "/rest";
  EXPECT_EQ(DevOrxHID::NextToken(text.c_str(), out.word), 259);
  EXPECT_EQ(std::strlen(out.word), 258u);
}

TEST(ParseFirstNumber, FirstNonNegativeWordOrTheLastWord) {
  constexpr int kNotANumber = -2147483647;
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("bb_ShowBattWarning 1"), 1);
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("bb_ShowBattWarning"), kNotANumber);
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("bb_zeroAllChans -3 2"), 2);
  EXPECT_EQ(DevOrxHID::ParseFirstNumber(""), -1);
  EXPECT_EQ(DevOrxHID::ParseFirstNumber(" \t "), -1) << "nothing left after trimming";
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("bb_keepPaired 2"), 2);
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("  7\t"), 7);
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("x -5"), -5) << "the last word when none is non-negative";
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("x 1 2"), 1);
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("x +3"), 3);
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("x 12abc"), 12) << "digits up to the first other character";
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("x 99999999999"), kNotANumber) << "does not fit in 32 bits";
  EXPECT_EQ(DevOrxHID::ParseFirstNumber("x  4"), 4) << "the empty word between two spaces is passed";
}

TEST(LoadTextResource, MissingResourceGivesEmptyText) {
  OrxString text(L"stale");
  DevOrxHID::LoadTextResource(0x7ABC, text);
  EXPECT_TRUE(text.IsEmpty());
}

}  // namespace
