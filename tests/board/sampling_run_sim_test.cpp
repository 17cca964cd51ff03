// Whole runs on a simulated board with its reader thread, on the virtual clock: the frames and
// their count, the button, flat batteries and a board switched off mid-run.
#include "testing/board_rig.h"
#include "testing/eventually.h"
#include "testing/last_message.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using testing_support::BoardRig;
using testing_support::LastMessage;
using testing_support::VirtualClock;

constexpr int64_t kMicrosPerSecond = 1'000'000;

struct Block {
  bool got = false;
  std::string bytes;
};

class SamplingRun : public ::testing::Test {
 protected:
  explicit SamplingRun(const sim::BoardSettings& settings = sim::BoardSettings()) : rig(settings) {}

  void SetUp() override {
    rig.board->SetLoadModel(std::make_shared<sim::FixedLoad>(sim::SensorLoads{20.0, 15.0, 25.0, 10.0}));
    ASSERT_TRUE(board.Initialise());
  }

  std::string Command(std::string line) {
    line += "\n";
    board.WriteBuffer(line.data(), static_cast<int>(line.size()), 0);
    char reply[256];
    return board.ReadLine(reply, sizeof reply, 1000) ? std::string(reply) : "<none>";
  }
  Block Read(int timeoutMs = 1000) {
    Block block;
    std::string buffer(1 + 8 * 512, '\0');
    int size = static_cast<int>(buffer.size());
    block.got = board.ReadBuffer(&buffer[0], &size, timeoutMs);
    if (block.got) block.bytes = buffer.substr(0, static_cast<size_t>(size));
    return block;
  }
  static int Frames(const Block& block) {
    return block.got && !block.bytes.empty() && block.bytes[0] == '@' ? static_cast<int>(block.bytes.size() - 1) / 8
                                                                        : 0;
  }
  // Reads frames until an abort or other line arrives (returned) or the time is up ("").
  std::string ReadUntilLine(int limitMs, int* frames = nullptr) {
    uint64_t until = posix::NowMicros() + static_cast<uint64_t>(limitMs) * 1000;
    while (posix::NowMicros() < until) {
      Block block = Read(100);
      if (frames) *frames += Frames(block);
      if (block.got && !block.bytes.empty() && block.bytes[0] == '#') return block.bytes;
    }
    return "";
  }
  bool SomeFramesArrive() {
    for (int i = 0; i < 10; ++i)
      if (Frames(Read()) > 0) return true;
    return false;
  }

  VirtualClock clock;
  BoardRig rig;
  testing_support::ExchangeBoard& board = *rig.device;
};

TEST_F(SamplingRun, FramesCarryTheLoadInKilogramUnits) {
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  Block block;
  do {
    block = Read();
    ASSERT_TRUE(block.got);
  } while (Frames(block) == 0);
  const unsigned char* frame = reinterpret_cast<const unsigned char*>(block.bytes.data()) + 1;
  const double kilograms[4] = {25.0, 10.0, 20.0, 15.0};  // sensors 2, 3, 0, 1
  double total = 0;
  for (int c = 0; c < 4; ++c) {
    int value = static_cast<int16_t>(frame[2 * c] << 8 | frame[2 * c + 1]);
    EXPECT_NEAR(value, kilograms[c] * 32000 / 75, 10) << "channel " << c + 1;
    total += value * 75.0 / 32000;
  }
  EXPECT_NEAR(total, 70.0, 0.1);
}

struct Rate {
  uint64_t intervalMicros;
  uint64_t jitterMicros;
  uint64_t runMicros;
  bool realBoard;  // as a real one reports and reads: unevenly, noisy, not quite linear
};

class JitteredRun : public SamplingRun, public ::testing::WithParamInterface<Rate> {
 protected:
  JitteredRun() : SamplingRun(GetParam().realBoard ? testing_support::RealBoard() : sim::BoardSettings()) {}
};

TEST_P(JitteredRun, MakesOneFramePerTenMillisecondsOfTheRun) {
  rig.board->SetReportInterval(GetParam().intervalMicros, GetParam().jitterMicros);
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  int64_t start = board.SamplingStart();
  uint64_t until = posix::NowMicros() + GetParam().runMicros;
  int frames = 0;
  while (posix::NowMicros() < until) frames += Frames(Read());
  board.StopReader();  // no report after this one
  for (Block block = Read(0); Frames(block) > 0; block = Read(0)) frames += Frames(block);

  int64_t elapsedMicros = (board.lastSampledReport.load() - start) * kMicrosPerSecond / board.TicksPerSecond();
  EXPECT_GT(elapsedMicros, static_cast<int64_t>(GetParam().runMicros) - 100'000);
  EXPECT_EQ(frames, (elapsedMicros + 5000) / 10000);
}

INSTANTIATE_TEST_SUITE_P(Rates, JitteredRun,
                         ::testing::Values(Rate{16'667, 2'000, 12'000'000, false}, Rate{6'000, 2'500, 5'000'000, false},
                                           Rate{25'000, 10'000, 12'000'000, false}, Rate{10'000, 0, 12'000'000, true}));

TEST_F(SamplingRun, CommandsMeetTheReaderThreadMidRun) {
  rig.board->SetReportInterval(2'000, 500);
  for (int round = 0; round < 12; ++round) {
    ASSERT_EQ(Command(">in/sampler/start"), "<OK");
    ASSERT_EQ(Command(">dev/bb_zeroAllChans 2"), "<OK");
    Read(5);
    if (round % 3 == 0) {
      ASSERT_EQ(Command(">dev/bb_zeroAllChans 1"), "<OK");
    }
    Read(5);
    ASSERT_EQ(Command(">in/sampler/stop"), "<OK");
  }
  ASSERT_EQ(Command(">dev/bb_zeroAllChans 2"), "<OK");
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  int frames = 0;
  while (frames < 150) frames += Frames(Read());
  EXPECT_FALSE(board.ZeroCollecting());
  Block block;
  while (Frames(block) == 0) block = Read();
  const unsigned char* frame = reinterpret_cast<const unsigned char*>(block.bytes.data()) + 1;
  for (int c = 0; c < 4; ++c)
    EXPECT_NEAR(static_cast<int16_t>(frame[2 * c] << 8 | frame[2 * c + 1]), 0, 3) << "a still load zeroes to 0";
}

TEST_F(SamplingRun, TheButtonEndsTheRun) {
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  ASSERT_TRUE(SomeFramesArrive());
  uint64_t pressed = posix::NowMicros();
  rig.board->SetButton(true);
  std::string line = ReadUntilLine(3000);
  rig.board->SetButton(false);
  EXPECT_EQ(line, "#abort Sampling stopped by user action.");
  EXPECT_EQ(line.size(), 39u);
  EXPECT_GE(posix::NowMicros() - pressed, 500'000u) << "the reader holds for half a second first";
  EXPECT_FALSE(board.IsSampling());
  EXPECT_EQ(LastMessage(board), "Sampling stopped by user.");
}

TEST_F(SamplingRun, FlatBatteriesEndTheRunAndAreRemembered) {
  ASSERT_EQ(Command(">dev/startwarning"), "=0");
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  ASSERT_TRUE(SomeFramesArrive());
  rig.board->SetBatteriesFailing(true);
  std::string line = ReadUntilLine(3000);
  EXPECT_EQ(line, "#abort Weak or missing batteries.");
  EXPECT_EQ(line.size(), 33u);
  EXPECT_FALSE(board.IsSampling());
  EXPECT_EQ(LastMessage(board), "Sampling stopped because of weak or missing batteries.");
  EXPECT_EQ(Command(">dev/startwarning"), "=1");
  EXPECT_EQ(Command(">dev/bb_ShowBattWarning 1"), "<OK");
  EXPECT_EQ(Command(">dev/startwarning"), "=0");
}

TEST_F(SamplingRun, ABoardSwitchedOffMidRun) {
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  ASSERT_TRUE(SomeFramesArrive());
  Sleep(55);  // a few frames wait in the ring
  rig.board->PowerOff();
  ASSERT_TRUE(testing_support::Eventually([&] { return board.IsDisconnected(); }));
  std::string line = ReadUntilLine(3000);
  EXPECT_EQ(line, "#abort The host timed out waiting for a response from the device.");
  EXPECT_EQ(line.size(), 65u);
  EXPECT_FALSE(board.IsSampling());
  EXPECT_EQ(LastMessage(board), "The host timed out waiting for a response from the device.");

  int held = board.ReadBuffSize() / 4;
  EXPECT_GT(held, 0);
  Block frames = Read(0);
  EXPECT_EQ(Frames(frames), held) << "then the frames still held";
  for (int i = 0; i < 2; ++i) {
    Block block = Read(0);
    ASSERT_TRUE(block.got);
    EXPECT_STREQ(block.bytes.c_str(), "#Device disconnected\n");
  }
  EXPECT_TRUE(board.IsFailed());
}

// A lossy link: carried out of range, the board just stops reporting, and the system declares the
// link dead only after its 20 s supervision time-out. The host hears of it within 5 s of the last
// report, as of a board switched off, whether it samples or not.
TEST_F(SamplingRun, ASilentLinkEndsTheRunWithin5sOfTheLastReport) {
  constexpr uint64_t kWithin = 5 * kMicrosPerSecond;
  for (bool sampling : {true, false}) {
    SCOPED_TRACE(sampling ? "sampling" : "idle");
    BoardRig lossy;
    ASSERT_TRUE(lossy.device->Initialise());
    if (sampling) {
      std::string start = ">in/sampler/start\n";
      lossy.device->WriteBuffer(start.data(), static_cast<int>(start.size()), 0);
    }
    Sleep(500);
    lossy.board->GoSilent();
    const uint64_t lastReport = posix::NowMicros();
    ASSERT_TRUE(testing_support::Eventually([&] { return lossy.device->IsDisconnected(); }, 20000));
    EXPECT_LE(posix::NowMicros() - lastReport, kWithin);
    EXPECT_NE(LastMessage(*lossy.device).find("(Error $102)"), std::string::npos) << "the message says: no reply";
    std::string buffer(512, '\0');
    int size = static_cast<int>(buffer.size());
    ASSERT_TRUE(lossy.device->ReadBuffer(&buffer[0], &size, 0));
    if (sampling) {
      EXPECT_EQ(buffer.substr(0, static_cast<size_t>(size)),
                "#abort The host timed out waiting for a response from the device.");
    } else {
      EXPECT_STREQ(buffer.c_str(), "#Device disconnected\n");
    }
  }
}

// A remote sends a status report by itself when its extension's state changes, and stops its data
// reports: the reader sets the mode again, so the run goes on and is not taken for a lost link.
TEST_F(SamplingRun, AStatusReportOfTheBoardsOwnMidRunLeavesTheStreamRunning) {
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  ASSERT_TRUE(SomeFramesArrive());
  rig.board->SendStatusReport();
  EXPECT_EQ(ReadUntilLine(5000), "");
  EXPECT_TRUE(rig.board->ContinuousReporting());
  EXPECT_FALSE(board.IsDisconnected());
}

TEST_F(SamplingRun, TheButtonTogglesTheLedWhileIdleAtMostEveryHalfSecond) {
  auto ledRequests = [&] {
    int n = 0;
    for (const auto& report : rig.board->OutputReports()) n += report[0] == 0x11;
    return n;
  };
  int before = ledRequests();
  Sleep(600);
  rig.board->SetButton(true);
  Sleep(200);
  rig.board->SetButton(false);
  EXPECT_EQ(rig.board->Leds(), 0x0);
  Sleep(100);
  rig.board->SetButton(true);  // the second press within half a second of the first
  Sleep(100);
  rig.board->SetButton(false);
  EXPECT_EQ(ledRequests(), before + 1);
  EXPECT_FALSE(board.LedOn());

  rig.board->SetButton(true);  // held: a blink, not a flicker
  Sleep(1200);
  rig.board->SetButton(false);
  EXPECT_GE(ledRequests(), before + 3);
  EXPECT_LE(ledRequests(), before + 4);

  if (board.LedOn()) {
    Sleep(600);
    rig.board->SetButton(true);
    Sleep(100);
    rig.board->SetButton(false);
  }
  ASSERT_FALSE(board.LedOn());
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  Sleep(100);
  EXPECT_TRUE(board.LedOn()) << "a run lights LED 1 again";
  EXPECT_EQ(rig.board->Leds(), 0x1);
}

// Reports of the run keep coming while the close asks for LED off, and each finds LED 1 dark: none
// may light it again after the close's LED off.
TEST_F(SamplingRun, LedOffStaysTheLastWordWhileReportsOfTheRunComeAtTheClose) {
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  ASSERT_TRUE(SomeFramesArrive());
  board.afterLastWords = [] { Sleep(100); };
  rig.device.reset();
  std::vector<uint8_t> lastLed;
  for (const auto& report : rig.board->OutputReports())
    if (report[0] == 0x11) lastLed = report;
  ASSERT_FALSE(lastLed.empty());
  EXPECT_EQ(lastLed[1], 0) << "LED 1 lit again after the close's LED off";
  EXPECT_EQ(rig.board->Leds(), 0);
}

// The button while idle has the reader switch the LED; on a link that is going, that write blocks
// until the page times out. A close meanwhile returns within 2 s and the reader, once its write
// ends, touches nothing of the closed board.
TEST_F(SamplingRun, ACloseReturnsWithinTwoSecondsWhileTheReaderIsStuckInAWrite) {
  const int threads = posix::LiveThreadCount() - 1;  // the fixture's reader
  rig.board->DelayWrites(13 * kMicrosPerSecond);
  Sleep(600);
  rig.board->SetButton(true);
  Sleep(200);  // the press has been handled and its LED write has begun
  uint64_t start = posix::NowMicros();
  rig.device.reset();
  EXPECT_LT(posix::NowMicros() - start, 2 * kMicrosPerSecond);
  EXPECT_TRUE(testing_support::Eventually([&] { return posix::LiveThreadCount() == threads; }, 30000))
      << "the reader never ended";
}

}  // namespace
