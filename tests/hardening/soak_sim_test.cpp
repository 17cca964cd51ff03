// A long run on the virtual clock: the board reports every 10 ms, the host reads every 50 ms,
// and every frame must arrive once, whole and in order: exactly one per 10 ms of the run.
// PLANKSCALE_SOAK_SECONDS sets the board time (default two minutes; 3600 for the full hour).
#include "check_pattern.h"
#include "discovery/device_search.h"
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "sim/world.h"
#include "testing/clock_hold.h"
#include "testing/eventually.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr uint64_t kDefaultSoakSeconds = 120;
constexpr int kReportsPerHostRead = 5;  // the host reads every 50 ms
constexpr int kBlockRoom = 1 + 8 * 64;
constexpr int kFrameBytes = 8;
constexpr uint64_t kRadio = sim::kDefaultRadioAddress;
constexpr uint64_t kBoard = sim::kDefaultBoardAddress;
constexpr uint64_t kStepMicros = 1000;
constexpr auto kSettleLimit = std::chrono::seconds(10);

uint64_t SoakSeconds() {
  const char* text = std::getenv("PLANKSCALE_SOAK_SECONDS");
  return text && *text ? std::strtoull(text, nullptr, 10) : kDefaultSoakSeconds;
}

sim::Scenario PatternBoard() {
  sim::Scenario scenario;
  scenario.radios.push_back({kRadio, L"radio"});
  sim::SimulatedBoard board;
  board.bluetooth.address = kBoard;
  board.bluetooth.SetPaired(true);
  board.settings.reportIntervalMicros = hardening::kSlotMicros;
  board.settings.reportJitterMicros = 0;
  board.load = std::make_shared<hardening::CheckPattern>();
  scenario.boards.push_back(board);
  return scenario;
}

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UseVirtualClock(true);
    CloseAll();
    DeviceSearch::ResetForTesting();
    sim::World::Instance().Build(PatternBoard());
    board = sim::World::Instance().Board(0);
  }
  void TearDown() override {
    CloseAll();
    sim::World::Instance().Clear();
    posix::UseVirtualClock(false);
  }

  // Every report the board sent since sentAtStart has become exactly one frame, read already or
  // waiting in the ring, and the reader waits for the next report. A frame lost or doubled never
  // gets there: the wait ends at its limit.
  bool Settled(int sentAtStart, int64_t framesRead) {
    auto deadline = std::chrono::steady_clock::now() + kSettleLimit;
    for (;;) {
      int64_t sent = board->DataReportsSent() - sentAtStart;
      if (board->PendingReadCount() == 1 && ReadBuffSize(index) == 4 * (sent - framesRead)) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
  }
  // Moves the clock on to the next report's time.
  void NextReport() {
    const int sent = board->DataReportsSent();
    while (board->DataReportsSent() == sent) posix::AdvanceClock(kStepMicros);
  }

  int index = -1;
  std::shared_ptr<sim::BalanceBoard> board;
};

struct Tally {
  int64_t frames = 0;
  int64_t torn = 0;
  int64_t outOfOrder = 0;
  int previousSlot = -1;

  void Take(const char* block, int size) {
    ASSERT_EQ(block[0], '@');
    ASSERT_EQ((size - 1) % kFrameBytes, 0);
    for (int at = 1; at < size; at += kFrameBytes) {
      int slot = hardening::DecodeSlot(reinterpret_cast<const unsigned char*>(block + at));
      ++frames;
      if (slot < 0) {
        ++torn;
        continue;
      }
      if (previousSlot >= 0 && slot != (previousSlot + 1) % hardening::kPatternPeriod) ++outOfOrder;
      previousSlot = slot;
    }
  }
};

TEST_F(Soak, EveryTenMillisecondsOfTheRunGiveExactlyOneWholeFrame) {
  ASSERT_EQ(FindDevice(&index), 1);
  ASSERT_EQ(Initialise(index), 1);
  // From here on the clock moves only when the test moves it: on a busy machine it would otherwise
  // run on by itself while the reader waits, and reports would come that nobody counts.
  testing_support::ClockHold hold;
  NextReport();  // from here on the clock stands at a report's time whenever the reader waits
  ASSERT_TRUE(Settled(board->DataReportsSent(), 0));

  // A run begins with the reporting mode asked for again, sent at once; the board answers it with a
  // report of its own a moment later, too soon for a frame. The count begins after that and the
  // next report, with the first frame read.
  const int sentBeforeTheRun = board->DataReportsSent();
  const size_t requests = board->OutputReports().size();
  ASSERT_EQ(WriteBuffer(index, ">in/sampler/start\n", 18, 0), 1);
  char line[32];
  ASSERT_EQ(ReadLine(index, line, sizeof line, 0), 1);
  ASSERT_STREQ(line, "<OK");
  ASSERT_TRUE(testing_support::Eventually([&] { return board->OutputReports().size() > requests; }));
  NextReport();
  NextReport();
  ASSERT_TRUE(Settled(sentBeforeTheRun, 1));
  char first[kBlockRoom];
  int firstSize = kBlockRoom;
  ASSERT_EQ(ReadBuffer(index, first, &firstSize, 0), 1);
  ASSERT_EQ(firstSize, 1 + kFrameBytes);
  const uint64_t start = posix::NowMicros();
  const int sentAtStart = board->DataReportsSent();

  const int64_t reports = static_cast<int64_t>(SoakSeconds() * 1'000'000 / hardening::kSlotMicros);
  Tally tally;
  char block[kBlockRoom];
  for (int64_t n = 1; n <= reports; ++n) {
    // Each report is handled at its own time, as a board's reports are by a reader that keeps up.
    NextReport();
    ASSERT_TRUE(Settled(sentAtStart, tally.frames)) << "a frame was lost or doubled by report " << n;
    if (n % kReportsPerHostRead != 0) continue;
    int size = kBlockRoom;
    ASSERT_EQ(ReadBuffer(index, block, &size, 0), 1);
    tally.Take(block, size);
    ASSERT_LE(tally.frames, board->DataReportsSent() - sentAtStart) << "more frames than reports";
  }
  ASSERT_TRUE(Settled(sentAtStart, tally.frames));
  const uint64_t elapsed = posix::NowMicros() - start;
  const int64_t sent = board->DataReportsSent() - sentAtStart;
  ASSERT_EQ(WriteBuffer(index, ">in/sampler/stop\n", 17, 0), 1);
  while (ReadBuffSize(index) > 0) {
    int size = kBlockRoom;
    ASSERT_EQ(ReadBuffer(index, block, &size, 0), 1);
    tally.Take(block, size);
  }

  EXPECT_EQ(tally.frames, sent);
  EXPECT_EQ(tally.frames, static_cast<int64_t>((elapsed + hardening::kSlotMicros / 2) / hardening::kSlotMicros));
  EXPECT_EQ(tally.torn, 0);
  EXPECT_EQ(tally.outOfOrder, 0);
  EXPECT_EQ(IsFailed(index), 0);
  RecordProperty("board_seconds", static_cast<int>(elapsed / 1'000'000));
  RecordProperty("frames", std::to_string(tally.frames));
}

}  // namespace
