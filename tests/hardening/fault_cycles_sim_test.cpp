// Many cycles of find, open, sample and close on the simulated world, each with a fault at a
// random point: the board switched off during the open, the run or the close; replies lost,
// wrong, late or preceded by an extra report; the button; flat batteries; the HID device gone
// between search and open; the board switched off and on between searches; a remembered board
// out of range; a driver slow to cancel a read, or slow to write and then stuck in the close's
// write. Every export must return within its bound, every run must end with the line and
// message that fit what happened, no board may be handed out twice, a board that opens must
// weigh what stands on it, and after CloseAll no handle or thread may be left.
// PLANKSCALE_FAULT_CYCLES sets the number of cycles (default 50; 1000 for the long run).
#include "discovery/device_search.h"
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "sim/world.h"
#include "testing/eventually.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>

namespace {

constexpr uint64_t kRadio = sim::kDefaultRadioAddress;
constexpr uint64_t kBoard = sim::kDefaultBoardAddress;
constexpr int kDefaultCycles = 50;
constexpr uint64_t kMs = 1000;

// Longest a call may take, in board (virtual) time and in real time.
constexpr uint64_t kFindBoundMs = 15000;   // the 5 s pairing search and the inquiries
constexpr uint64_t kOpenBoundMs = 12000;   // a dozen exchanges of at most 500 ms each, and margin
constexpr uint64_t kCloseBoundMs = 2000;   // a board, whatever the driver does
constexpr uint64_t kCallSlackMs = 600;     // a button stop holds the reader for 500 ms
constexpr auto kRealBound = std::chrono::seconds(20);

constexpr int kReadTimeoutMs = 100;
constexpr int kRunReads = 30;
constexpr int kBlockRoom = 1 + 8 * 128;
constexpr double kPersonKg = 70.0;
constexpr double kWeightToleranceKg = 5.0;  // the sway moves weight between sensors, not off the board
constexpr double kKgPerUnit = 75.0 / 32000.0;
constexpr uint64_t kShortestLateMs = 600;  // beyond the plug-in's 500 ms wait for a reply
constexpr int kSearchesToFindAgain = 3;    // the rest of the old enumeration, then a new one
constexpr uint64_t kSlowCancelMs = 1000;
constexpr uint64_t kStuckWriteMs = 13000;  // a write to a board going out of range, until the page gives up

const char kNameDisconnected[] =
    "The Nintendo RVL-WBC-01 has disconnected from your computer. Check the batteries, or bring it closer. (Error $";
const char kAbortTimeout[] = "#abort The host timed out waiting for a response from the device.";
const char kAbortButton[] = "#abort Sampling stopped by user action.";
const char kAbortBatteries[] = "#abort Weak or missing batteries.";
const char kLineDisconnected[] = "#Device disconnected\n";
const char kMessageTimeout[] = "The host timed out waiting for a response from the device.";
const char kMessageButton[] = "Sampling stopped by user.";
const char kMessageBatteries[] = "Sampling stopped because of weak or missing batteries.";

enum class Fault {
  kNone,
  kPowerOffDuringOpen,
  kNoReplyDuringOpen,
  kWrongReplyDuringOpen,
  kGoneBeforeOpen,
  kPowerOffDuringRun,
  kButton,
  kBatteries,
  kPowerOffDuringClose,
  kExtraReportDuringOpen,
  kLateReplyDuringOpen,
  kOffAndOnBetweenSearches,
  kRememberedBoardAbsent,
  kSlowCancel,
  kBlockingWrites,
  kCount
};

const char* const kFaultNames[] = {
    "none", "power off during open", "no reply during open", "wrong reply during open", "gone before open",
    "power off during run", "button", "batteries", "power off during close", "extra report during open",
    "late reply during open", "off and on between searches", "remembered board absent", "slow cancel",
    "blocking writes",
};
static_assert(sizeof kFaultNames / sizeof kFaultNames[0] == static_cast<size_t>(Fault::kCount), "a name per fault");

bool FaultMayFailTheOpen(Fault fault) {
  return fault == Fault::kPowerOffDuringOpen || fault == Fault::kNoReplyDuringOpen ||
         fault == Fault::kWrongReplyDuringOpen || fault == Fault::kGoneBeforeOpen ||
         fault == Fault::kLateReplyDuringOpen;
}

// The weight a block's last frame carries, in kilograms.
double LastFrameKg(const char* block, int size) {
  const char* frame = block + size - 8;
  int32_t units = 0;
  for (int channel = 0; channel < 4; ++channel)
    units += static_cast<int16_t>(static_cast<uint8_t>(frame[2 * channel]) << 8 |
                                  static_cast<uint8_t>(frame[2 * channel + 1]));
  return units * kKgPerUnit;
}

void SwitchBoard(const std::shared_ptr<sim::BalanceBoard>& board, bool on) {
  if (on) board->PowerOn(); else board->PowerOff();
  sim::BluetoothWorld::Instance().Update(kBoard, [on](sim::BluetoothDeviceState& s) {
    s.inRange = on;
    s.connected = on && s.remembered;
  });
}

int Cycles() {
  const char* text = std::getenv("PLANKSCALE_FAULT_CYCLES");
  return text && *text ? std::atoi(text) : kDefaultCycles;
}

sim::Scenario OneBoard(bool paired) {
  sim::Scenario scenario;
  scenario.radios.push_back({kRadio, L"radio"});
  sim::SimulatedBoard board;
  board.bluetooth.address = kBoard;
  board.bluetooth.SetPaired(paired);
  board.load = std::make_shared<sim::SwayingPerson>(70.0);
  scenario.boards.push_back(board);
  return scenario;
}

std::string Message(int index) {
  int length = GetLastErrorMsg(index, nullptr);
  if (length <= 0) return "";
  std::string text(static_cast<size_t>(length), '\0');
  GetLastErrorMsg(index, &text[0]);
  return text.c_str();
}

class FaultCycles : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UseVirtualClock(true);
    CloseAll();
    DeviceSearch::ResetForTesting();
    handles = posix::LiveHandleCount();
    threads = posix::LiveThreadCount();
  }
  void TearDown() override {
    CloseAll();
    sim::World::Instance().Clear();
    posix::UseVirtualClock(false);
  }

  // Runs call and checks that it came back within boundMs of board time and kRealBound of real time.
  template <typename Call>
  auto Bounded(const char* what, uint64_t boundMs, Call call) -> decltype(call()) {
    const uint64_t virtualStart = posix::NowMicros();
    const auto realStart = std::chrono::steady_clock::now();
    auto result = call();
    EXPECT_LE(posix::NowMicros() - virtualStart, boundMs * kMs) << what << " in cycle " << cycle;
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, kRealBound) << what << " in cycle " << cycle;
    return result;
  }

  void ArmOpenFault(Fault fault, std::mt19937& random) {
    const uint8_t ids[] = {0x12, 0x15, 0x16, 0x17, 0x11};
    uint8_t id = ids[random() % 5];
    if (fault == Fault::kExtraReportDuringOpen) {
      int extra = 1 + static_cast<int>(random() % 2);
      board->ArmFault(id, sim::ReplyFault::DataReportsFirst(extra, random() % 2 ? 0x30 : 0x32));
    } else if (fault == Fault::kLateReplyDuringOpen) {
      board->ArmFault(id, sim::ReplyFault::Late((kShortestLateMs + random() % 1000) * kMs));
    } else if (fault == Fault::kNoReplyDuringOpen) {
      board->ArmFault(id, random() % 2 ? sim::ReplyFault::NoReply() : sim::ReplyFault::Lost());
    } else {
      const sim::ReplyFault wrong[] = {sim::ReplyFault::OtherId(0x22), sim::ReplyFault::OtherId(0x21),
                                       sim::ReplyFault::Short(5), sim::ReplyFault::AckError(3)};
      board->ArmFault(id, wrong[random() % 4]);
    }
  }

  // Samples until the run ends or kRunReads blocks were read; returns the line that ended it.
  std::string Run(Fault fault, std::mt19937& random, int& frames) {
    EXPECT_EQ(WriteBuffer(index, ">in/sampler/start\n", 18, 0), 1);
    const int injectAt = static_cast<int>(random() % 10);
    std::string last;
    for (int read = 0; read < kRunReads; ++read) {
      if (read == injectAt) {
        if (fault == Fault::kPowerOffDuringRun) board->PowerOff();
        if (fault == Fault::kButton) board->SetButton(true);
        if (fault == Fault::kBatteries) board->SetBatteriesFailing(true);
      }
      char block[kBlockRoom];
      int size = kBlockRoom;
      int got = Bounded("ReadBuffer", kReadTimeoutMs + kCallSlackMs,
                        [&] { return ReadBuffer(index, block, &size, kReadTimeoutMs); });
      if (!got) continue;
      EXPECT_GE(size, 1);
      EXPECT_LE(size, kBlockRoom);
      if (size == 1) continue;  // woken, but no whole frame yet: nothing written
      if (block[0] == '@') {
        EXPECT_EQ((size - 1) % 8, 0);
        frames += (size - 1) / 8;
        lastKg = LastFrameKg(block, size);
        continue;
      }
      if (std::strncmp(block, kLineDisconnected, sizeof kLineDisconnected) == 0) return kLineDisconnected;
      last.assign(block, static_cast<size_t>(size));
      if (fault != Fault::kPowerOffDuringRun && fault != Fault::kPowerOffDuringOpen) return last;
      // A lost board: the time-out abort, and the disconnect line after it.
      EXPECT_EQ(last, kAbortTimeout);
    }
    return last;
  }

  void Cycle(int seed) {
    cycle = seed;
    std::mt19937 random(static_cast<uint32_t>(seed));
    const Fault fault = static_cast<Fault>(random() % static_cast<int>(Fault::kCount));
    const bool paired = random() % 2 == 0;
    sim::Scenario scenario = OneBoard(paired || fault == Fault::kRememberedBoardAbsent);
    if (fault == Fault::kRememberedBoardAbsent) scenario.boards[0].bluetooth.inRange = false;
    sim::World::Instance().Build(scenario);
    board = sim::World::Instance().Board(0);
    SCOPED_TRACE("cycle " + std::to_string(seed) + ", fault " + kFaultNames[static_cast<int>(fault)]);
    ++counts[static_cast<size_t>(fault)];
    lastKg = 0;

    index = -1;
    if (fault == Fault::kRememberedBoardAbsent) {
      board->PowerOff();
      EXPECT_EQ(Bounded("FindDevice", kFindBoundMs, [&] { return FindDevice(&index); }), 0) << "found while absent";
      EXPECT_EQ(index, -1);
      SwitchBoard(board, true);
    }
    ASSERT_EQ(Bounded("FindDevice", kFindBoundMs, [&] { return FindDevice(&index); }), 1);
    ASSERT_EQ(index, 0);
    if (fault == Fault::kOffAndOnBetweenSearches) {
      ASSERT_NO_FATAL_FAILURE(FindAgainAfterAFailedOpen());
    }

    if (fault == Fault::kGoneBeforeOpen) {
      board->PowerOff();
      sim::BluetoothWorld::Instance().Update(kBoard, [](sim::BluetoothDeviceState& s) { s.inRange = false; });
    }
    if (fault == Fault::kPowerOffDuringOpen) {
      std::weak_ptr<sim::BalanceBoard> weak = board;
      posix::ScheduleAt(posix::NowMicros() + random() % (20 * kMs), [weak] {
        if (auto live = weak.lock()) live->PowerOff();
      });
    }
    if (fault == Fault::kSlowCancel)
      board->DelayCancellation(random() % 2 ? kSlowCancelMs * kMs : sim::kNeverCancelled);
    if (fault == Fault::kBlockingWrites) board->DelayWrites((50 + random() % 250) * kMs);
    if (fault == Fault::kNoReplyDuringOpen || fault == Fault::kWrongReplyDuringOpen ||
        fault == Fault::kExtraReportDuringOpen || fault == Fault::kLateReplyDuringOpen)
      ArmOpenFault(fault, random);

    const bool opened = Bounded("Initialise", kOpenBoundMs, [&] { return Initialise(index); }) == 1;
    if (opened) ++openedCounts[static_cast<size_t>(fault)];
    if (!opened) {
      EXPECT_TRUE(FaultMayFailTheOpen(fault)) << "a board without an open fault did not open";
      EXPECT_EQ(IsFailed(index), 1);
      EXPECT_EQ(Message(index).rfind(kNameDisconnected, 0), 0u) << Message(index);
    } else {
      EXPECT_NE(fault, Fault::kGoneBeforeOpen) << "a board that is gone opened";
      int frames = 0;
      std::string last = Run(fault, random, frames);
      CheckRunEnd(fault, last, frames);
    }

    if (fault == Fault::kPowerOffDuringClose) {
      std::weak_ptr<sim::BalanceBoard> weak = board;
      posix::ScheduleAt(posix::NowMicros() + random() % (5 * kMs), [weak] {
        if (auto live = weak.lock()) live->PowerOff();
      });
    }
    if (fault == Fault::kBlockingWrites) board->DelayWrites(kStuckWriteMs * kMs);
    EXPECT_EQ(Bounded("CloseAll", kCloseBoundMs, [] { return CloseAll(); }), 1);
    board.reset();
    sim::World::Instance().Clear();
    // A reader's return to the system follows the signal that ends the close's wait, and a reader
    // the close left in a stuck write closes the handles it shares once the write ends.
    EXPECT_TRUE(testing_support::Eventually([&] { return posix::LiveThreadCount() == threads; }))
        << "threads left after CloseAll";
    EXPECT_EQ(posix::LiveHandleCount(), handles) << "handles left after CloseAll";
  }

  // The board is switched off before its open and on again; the host searches again. The failed
  // device must not count as open, the new one must, and nothing may hand the board out twice.
  void FindAgainAfterAFailedOpen() {
    SwitchBoard(board, false);
    EXPECT_EQ(Bounded("Initialise", kOpenBoundMs, [&] { return Initialise(index); }), 0);
    SwitchBoard(board, true);
    int again = -1;
    for (int search = 0; search < kSearchesToFindAgain && again < 0; ++search)
      Bounded("FindDevice", kFindBoundMs, [&] { return FindDevice(&again); });
    ASSERT_EQ(again, 1) << "the board was not found again";
    index = again;
    ASSERT_EQ(Bounded("Initialise", kOpenBoundMs, [&] { return Initialise(index); }), 1);
    for (int search = 0; search < kSearchesToFindAgain; ++search) {
      int twice = -1;
      EXPECT_EQ(Bounded("FindDevice", kFindBoundMs, [&] { return FindDevice(&twice); }), 0)
          << "the open board was handed out again as " << twice;
    }
  }

  void CheckRunEnd(Fault fault, const std::string& last, int frames) {
    switch (fault) {
      case Fault::kButton:
        EXPECT_EQ(last, kAbortButton);
        EXPECT_EQ(Message(index), kMessageButton);
        EXPECT_EQ(IsFailed(index), 0);
        break;
      case Fault::kBatteries:
        EXPECT_EQ(last, kAbortBatteries);
        EXPECT_EQ(Message(index), kMessageBatteries);
        break;
      case Fault::kPowerOffDuringRun:
      case Fault::kPowerOffDuringOpen: {
        if (fault == Fault::kPowerOffDuringOpen && last.empty()) {
          EXPECT_GT(frames, 0);  // switched off only after the run: nothing to see yet
          break;
        }
        // The abort line if the loss met the run, then the disconnect line; the host is told.
        EXPECT_EQ(last, kLineDisconnected);
        EXPECT_EQ(IsFailed(index), 1);
        std::string message = Message(index);
        EXPECT_TRUE(message == kMessageTimeout || message.rfind(kNameDisconnected, 0) == 0) << message;
        break;
      }
      default:
        // No fault reached the run (an open fault that the open survived counts as none).
        EXPECT_EQ(last, "");
        EXPECT_GT(frames, 0);
        EXPECT_NEAR(lastKg, kPersonKg, kWeightToleranceKg) << "a board that opened must weigh right";
        EXPECT_EQ(WriteBuffer(index, ">in/sampler/stop\n", 17, 0), 1);
        EXPECT_EQ(IsFailed(index), 0);
        break;
    }
  }

  std::shared_ptr<sim::BalanceBoard> board;
  int index = -1;
  int cycle = 0;
  int handles = 0;
  int threads = 0;
  double lastKg = 0;
  std::array<int, static_cast<size_t>(Fault::kCount)> counts{};
  std::array<int, static_cast<size_t>(Fault::kCount)> openedCounts{};
};

TEST_F(FaultCycles, EveryCycleEndsCleanlyWhateverGoesWrong) {
  const int cycles = Cycles();
  for (int seed = 1; seed <= cycles && !HasFatalFailure(); ++seed) Cycle(seed);
  RecordProperty("cycles", cycles);
  for (size_t f = 0; f < counts.size(); ++f)
    std::printf("fault %-30s cycles %4d, opened %4d\n", kFaultNames[f], counts[f], openedCounts[f]);
}

}  // namespace
