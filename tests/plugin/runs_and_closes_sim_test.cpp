// What a host sees through the exports of a board's run and of its close: every waiting call ends
// at the close, an open gives up at its next step, LED 1 is dark after every close and every failed
// open, the button's stop comes before any frame made after the press, and a run's request for
// reports goes out at once.
#include "discovery/device_search.h"
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "sim/world.h"
#include "testing/clock_hold.h"
#include "testing/eventually.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kMs = 1000;
constexpr int kBlockRoom = 1 + 8 * 256;
const char kAbortButton[] = "#abort Sampling stopped by user action.";
const uint8_t kLedReport = 0x11;
const uint8_t kLedOne = 0x10;
constexpr int kLedCycles = 300;  // a report handled in the close's moment is rare

struct Block {
  int got = 0;
  std::string bytes;
  int Frames() const { return got && !bytes.empty() && bytes[0] == '@' ? static_cast<int>(bytes.size() - 1) / 8 : 0; }
};

class RunsAndCloses : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UseVirtualClock(true);
    CloseAll();
    DeviceSearch::ResetForTesting();
  }
  void TearDown() override {
    CloseAll();
    sim::World::Instance().Clear();
    posix::UseVirtualClock(false);
  }
  void Build(const sim::BoardSettings& settings = sim::BoardSettings()) {
    sim::Scenario scenario;
    scenario.radios.push_back({sim::kDefaultRadioAddress, L"radio"});
    sim::SimulatedBoard simulated;
    simulated.bluetooth.address = sim::kDefaultBoardAddress;
    simulated.bluetooth.SetPaired(true);
    simulated.settings = settings;
    simulated.load = std::make_shared<sim::FixedLoad>(sim::SensorLoads{20.0, 15.0, 25.0, 10.0});
    scenario.boards.push_back(simulated);
    sim::World::Instance().Build(scenario);
    board = sim::World::Instance().Board(0);
  }
  bool Open() { return FindDevice(&index) == 1 && Initialise(index) == 1; }
  std::string Command(std::string line) {
    line += "\n";
    WriteBuffer(index, line.data(), static_cast<int>(line.size()), 0);
    char reply[64];
    return ReadLine(index, reply, sizeof reply, 1000) ? std::string(reply) : "<none>";
  }
  Block Read(int timeoutMs) {
    Block block;
    std::string buffer(kBlockRoom, '\0');
    int size = kBlockRoom;
    block.got = ReadBuffer(index, &buffer[0], &size, timeoutMs);
    if (block.got) block.bytes = buffer.substr(0, static_cast<size_t>(size));
    return block;
  }
  // A steady board streaming on the real clock (the host reads while the reader's half second
  // passes), its frames so far taken, and then a short press: the reports after it carry none.
  void PressBrieflyDuringARun() {
    sim::BoardSettings steady;
    steady.reportIntervalMicros = 10'000;
    steady.reportJitterMicros = 0;
    Build(steady);
    ASSERT_TRUE(Open());
    posix::UseVirtualClock(false);
    ASSERT_EQ(Command(">in/sampler/start"), "<OK");
    ASSERT_TRUE(testing_support::Eventually([&] { return Read(100).Frames() > 0; }));
    while (Read(0).Frames() > 0) continue;
    board->SetButton(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    board->SetButton(false);
  }
  // The LED reports the board received, oldest first.
  std::vector<std::vector<uint8_t>> LedReports() const {
    std::vector<std::vector<uint8_t>> leds;
    for (auto& report : board->OutputReports())
      if (!report.empty() && report[0] == kLedReport) leds.push_back(report);
    return leds;
  }

  std::shared_ptr<sim::BalanceBoard> board;
  int index = -1;
};

// Two calls wait on one board when the host closes everything: both return at once, and the board
// is free for the next search straight away.
TEST_F(RunsAndCloses, ACloseEndsEveryCallWaitingOnTheBoardAndFreesItAtOnce) {
  Build();
  ASSERT_TRUE(Open());
  posix::UseVirtualClock(false);
  Clock::duration lineTook{}, blockTook{};
  std::thread line([&] {
    auto start = Clock::now();
    char reply[64];
    ReadLine(index, reply, sizeof reply, 8000);
    lineTook = Clock::now() - start;
  });
  std::thread block([&] {
    auto start = Clock::now();
    Read(8000);
    blockTook = Clock::now() - start;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // both are waiting
  CloseAll();
  int again = -1;
  EXPECT_EQ(FindDevice(&again), 1) << "the board was still held";
  line.join();
  block.join();
  EXPECT_LT(lineTook, std::chrono::seconds(2)) << "ReadLine waited on";
  EXPECT_LT(blockTook, std::chrono::seconds(2)) << "ReadBuffer waited on";
}

// Every output report takes 2 s (a link being paged) and the host closes everything during the
// open: the open sends nothing more and returns once the write it is in has ended.
TEST_F(RunsAndCloses, ACloseDuringAnOpenWithSlowWritesEndsItAtItsNextStep) {
  Build();
  ASSERT_EQ(FindDevice(&index), 1);
  posix::UseVirtualClock(false);
  board->DelayWrites(2000 * kMs);
  Clock::time_point returned;
  std::thread open([&] {
    EXPECT_EQ(Initialise(index), 0);
    returned = Clock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // inside the open's first write
  CloseAll();
  const auto closed = Clock::now();
  const size_t sent = board->OutputReports().size();
  int again = -1;
  EXPECT_EQ(FindDevice(&again), 1) << "the board was still held by the open";
  open.join();
  EXPECT_LT(returned - closed, std::chrono::milliseconds(2500)) << "the open went on after the close";
  EXPECT_LE(board->OutputReports().size(), sent + 1) << "only the write in progress when the close came";
  board->DelayWrites(0);
}

// Reports every millisecond: whatever a report handled in the close's moment asks for, LED off
// goes last.
TEST_F(RunsAndCloses, LedOffIsTheLastReportOfEveryCloseDuringARun) {
  sim::BoardSettings fast;
  fast.reportIntervalMicros = 1000;
  fast.reportJitterMicros = 0;
  for (int cycle = 0; cycle < kLedCycles; ++cycle) {
    SCOPED_TRACE(cycle);
    posix::UseVirtualClock(true);
    Build(fast);
    ASSERT_TRUE(Open());
    posix::UseVirtualClock(false);  // the readers' and the close's own pace
    ASSERT_EQ(Command(">in/sampler/start"), "<OK");
    for (int read = 0; read < 2; ++read) Read(5);
    CloseAll();
    auto leds = LedReports();
    ASSERT_FALSE(leds.empty());
    EXPECT_EQ(leds.back()[1], 0) << "LED 1 lit again after the close's LED off";
    EXPECT_EQ(board->Leds(), 0);
  }
}

// The board never answers the request for continuous reports ($102) after the open lit LED 1.
TEST_F(RunsAndCloses, AnOpenThatLitTheLedAndThenFailedSwitchesItOff) {
  Build();
  board->ArmFault(0x12, sim::ReplyFault::DataReportsFirst(0));  // the first mode request: as usual
  board->ArmFault(0x12, sim::ReplyFault::Lost());              // the continuous one: never heard
  ASSERT_EQ(FindDevice(&index), 1);
  ASSERT_EQ(Initialise(index), 0);
  auto leds = LedReports();
  ASSERT_FALSE(leds.empty());
  EXPECT_EQ(leds.front()[1], kLedOne) << "the open lit it";
  EXPECT_EQ(leds.back()[1], 0) << "and left it lit";
  EXPECT_EQ(board->Leds(), 0);
}

// The press holds the reader half a second; then the host gets the abort line, before any frame
// made from a report after the press (a held value for the half second that never happened).
TEST_F(RunsAndCloses, NoFrameMadeAfterThePressComesBeforeTheAbortLine) {
  ASSERT_NO_FATAL_FAILURE(PressBrieflyDuringARun());
  int framesBeforeTheLine = 0;
  std::string line;
  for (int read = 0; read < 50 && line.empty(); ++read) {
    Block block = Read(1000);
    framesBeforeTheLine += block.Frames();
    if (block.got && !block.bytes.empty() && block.bytes[0] == '#') line = block.bytes;
  }
  EXPECT_EQ(line, kAbortButton);
  EXPECT_LE(framesBeforeTheLine, 2) << "frames of the press's half second came before the abort line";
}

// The host starts a new run while the press's half second still runs: the press ended the run
// before, and the new one is not stopped by it.
TEST_F(RunsAndCloses, ARunStartedDuringThePressPauseIsNotEndedByThePress) {
  ASSERT_NO_FATAL_FAILURE(PressBrieflyDuringARun());
  int held = -1;
  ASSERT_TRUE(testing_support::Eventually([&] {  // inside the pause: the ring stands still
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int now = ReadBuffSize(index);
    const bool still = now == held;
    held = now;
    return still;
  }, 400));
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  std::string line;
  int frames = 0;
  for (auto until = Clock::now() + std::chrono::seconds(1); Clock::now() < until && line.empty();) {
    Block block = Read(100);
    frames += block.Frames();
    if (block.got && !block.bytes.empty() && block.bytes[0] == '#') line = block.bytes;
  }
  EXPECT_EQ(line, "") << "the new run was ended by the press before it";
  EXPECT_GT(frames, 0);
}

// A board no longer streams (reset to button reports, which the plug-in does not hear of): the
// run's request for continuous reports goes out when the host starts it, not when the reader's
// wait for a report next ends.
TEST_F(RunsAndCloses, ARunsRequestForReportsGoesOutAtOnce) {
  Build();
  ASSERT_TRUE(Open());
  const uint8_t buttonsOnly[22] = {0x12, 0x00, 0x30};
  DWORD error = 0;
  testing_support::ClockHold hold;  // the clock moves only as this test moves it
  ASSERT_TRUE(board->OnOutputReport(buttonsOnly, sizeof buttonsOnly, &error));
  posix::AdvanceClock(20 * kMs);  // the board answers with a report in the new mode, ending the read
  // Handled: the reader is back in a read that nothing will end.
  ASSERT_TRUE(testing_support::Eventually([&] { return board->PendingReadCount() == 1; }));
  const size_t sent = board->OutputReports().size();
  ASSERT_EQ(Command(">in/sampler/start"), "<OK");
  EXPECT_TRUE(testing_support::Eventually([&] { return board->OutputReports().size() > sent; }))
      << "the request waited for the reader's wait to end";
  EXPECT_TRUE(board->ContinuousReporting());
}

}  // namespace
