// The board's command set, reply bytes as the host receives them, and the settings they change.
#include "board/wbalance_board.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A board with its rings but no device behind it: commands need nothing else.
class CommandBoard : public Kestrel::WBalanceBoard {
 public:
  explicit CommandBoard(const wchar_t* serial = L"0017ab3c4d5e")
      : WBalanceBoard(nullptr, L"Nintendo RVL-WBC-01", serial) {
    StopReader();
    DevOrxHID::Initialise();
  }
  // Every byte queued for the host so far.
  std::string Queued() {
    std::string text;
    char c;
    while (textRing->Take(c)) text += c;
    return text;
  }
  bool ShowBatteryWarning() const { return showBatteryWarning.load(); }
  bool ZeroEnabled() const { return zeroEnabled.load(); }
  void SetBatteryLow() { batteryLow.store(true); }
};

class BoardCommands : public ::testing::Test {
 protected:
  std::string Reply(const std::string& line) {
    board.WriteBuffer(line.data(), static_cast<int>(line.size()), 0);
    return board.Queued();
  }
  CommandBoard board;
};

TEST_F(BoardCommands, Identity) {
  EXPECT_EQ(Reply(">dev/version\n"), "=1.01\n");
  EXPECT_EQ(Reply("?dev/version\r"), "=1.01\n");
  EXPECT_EQ(Reply(">dev/VERSION\n"), "^Eh?\n");
  EXPECT_EQ(Reply(">dev/type\n"), "=Wii Balance Board\n");
  EXPECT_EQ(Reply(">dev/serialnum\n"), "=0017ab3c4d5e\n");
  EXPECT_EQ(Reply(">in/nachans\n"), "=4\n");
  EXPECT_EQ(Reply(">dev/versions\n"), "^Eh?\n");
  EXPECT_EQ(Reply(">dev/\n"), "^Eh?\n");
}

TEST(BoardSerialNumber, RepliesCarryAtMostTwentyFourBytesOfIt) {
  CommandBoard board(L"0123456789abcdef0123456789abcdef");
  board.WriteBuffer(">dev/serialnum\n", 15, 0);
  EXPECT_EQ(board.Queued(), "=0123456789abcdef01234567\n");
}

TEST_F(BoardCommands, KeepPaired) {
  EXPECT_TRUE(board.KeepPaired());
  EXPECT_EQ(Reply(">dev/bb_keepPaired 1\n"), "<OK\n");
  EXPECT_FALSE(board.KeepPaired());
  EXPECT_EQ(Reply(">dev/bb_keepPaired 3\n"), "^Eh?\n");
  EXPECT_EQ(Reply(">dev/bb_keepPaired\n"), "^Eh?\n");
  EXPECT_EQ(Reply(">dev/bb_keepPaired 0 2\n"), "^Eh?\n") << "the first number, 0, decides";
  EXPECT_FALSE(board.KeepPaired());
  EXPECT_EQ(Reply("?dev/bb_keepPaired 2\n"), "<OK\n");
  EXPECT_TRUE(board.KeepPaired());
}

TEST_F(BoardCommands, TheStartWarningNeedsALowBatteryAndTheWarningSetting) {
  EXPECT_EQ(Reply(">dev/startwarning\n"), "=0\n");
  board.SetBatteryLow();
  EXPECT_EQ(Reply(">dev/startwarning\n"), "=1\n");
  EXPECT_EQ(Reply(">dev/bb_ShowBattWarning 1\n"), "<OK\n");
  EXPECT_FALSE(board.ShowBatteryWarning());
  EXPECT_EQ(Reply(">dev/startwarning\n"), "=0\n");
  EXPECT_EQ(Reply(">dev/bb_ShowBattWarning 2\n"), "<OK\n");
  EXPECT_EQ(Reply(">dev/startwarning\n"), "=1\n");
}

TEST_F(BoardCommands, ZeroAllChannelsIsFoundAnywhereInTheWord) {
  EXPECT_EQ(Reply(">dev/xbb_zeroAllChans 2\n"), "<OK\n");
  EXPECT_TRUE(board.ZeroEnabled());
  EXPECT_EQ(Reply(">dev/bb_zeroAllChans 1\n"), "<OK\n");
  EXPECT_FALSE(board.ZeroEnabled());
  EXPECT_EQ(Reply(">dev/bb_zeroAllChans two\n"), "^Eh?\n");
}

TEST_F(BoardCommands, ScalingAndRangeForChannelsUpToFour) {
  EXPECT_EQ(Reply(">in/cha1/basescaling\n"), "=-32000,-75;32000,75;kg;1\n");
  EXPECT_EQ(Reply(">in/cha4/gainlist\n"), "=-75,75,kg;\n");
  EXPECT_EQ(Reply(">in/cha0/gainlist\n"), "=-75,75,kg;\n");
  EXPECT_EQ(Reply(">in/cha5/basescaling\n"), "") << "understood, but nothing to say";
  EXPECT_EQ(Reply(">in/cha12/gainlist\n"), "");
  EXPECT_EQ(Reply(">in/cha1/offset\n"), "^Eh?\n");
}

TEST_F(BoardCommands, ControlListsAreServedWhole) {
  std::string device = Reply(">in/controllist\n");
  EXPECT_EQ(device.size(), 1680u);
  EXPECT_EQ(device.rfind("=/*\r\n * PlankScale Device Control List\r\n", 0), 0u);
  EXPECT_EQ(device.substr(device.size() - 23), "} // Batt warning \r\n\r\n\n");

  std::string amplifier = Reply(">in/cha3/controllist\n");
  EXPECT_EQ(amplifier.size(), 383u);
  EXPECT_EQ(amplifier.rfind("=/*\r\n * PlankScale Input Amp Control List\r\n", 0), 0u);
  EXPECT_EQ(amplifier.substr(amplifier.size() - 4), "}\r\n\n");
  EXPECT_EQ(Reply(">in/cha7/controllist\n"), amplifier) << "for every channel number";
}

TEST_F(BoardCommands, Sampler) {
  EXPECT_EQ(Reply(">in/sampler/interval\n"), "=10000\n");
  EXPECT_EQ(Reply(">in/sampler/start\n"), "<OK\n");
  EXPECT_TRUE(board.IsSampling());
  EXPECT_EQ(Reply(">in/sampler/interval\n"), "=10000\n");
  EXPECT_EQ(Reply(">in/sampler/stop\n"), "<OK\n");
  EXPECT_FALSE(board.IsSampling());
  EXPECT_EQ(Reply(">in/sampler/pause\n"), "^Eh?\n");
}

TEST_F(BoardCommands, TheLastErrorIsDeliveredOnce) {
  EXPECT_EQ(board.GetLastErrorMsg(nullptr), 1);
  Reply(">in/sampler/start\n");
  const uint8_t flat[22] = {0x32};  // all four sensors at zero
  ASSERT_TRUE(board.OnInputReport(flat, 22, 0));
  char line[80];
  int size = sizeof line;
  ASSERT_TRUE(board.ReadBuffer(line, &size, 0));
  EXPECT_EQ(std::string(line, static_cast<size_t>(size)), "#abort Weak or missing batteries.");

  const std::string message = "Sampling stopped because of weak or missing batteries.";
  int n = board.GetLastErrorMsg(nullptr);
  EXPECT_EQ(n, static_cast<int>(message.size()) + 1);
  EXPECT_EQ(board.GetLastErrorMsg(nullptr), n);
  std::string text(static_cast<size_t>(n), '\x7F');
  EXPECT_EQ(board.GetLastErrorMsg(&text[0]), n);
  EXPECT_EQ(text.c_str(), message);
  EXPECT_EQ(board.GetLastErrorMsg(nullptr), 1);
  EXPECT_EQ(Reply(">dev/startwarning\n"), "=1\n");
}

}  // namespace
