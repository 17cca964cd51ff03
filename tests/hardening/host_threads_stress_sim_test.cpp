// Several host threads on the exports of two boards at once (message quotes and reads, commands
// and reply lines, sample blocks, opens), while one thread closes everything and finds the boards
// again, and the boards are pressed, lost and found again behind a driver that is slow to cancel
// or to write. Every host buffer carries guard bytes; every call returns within its bound; no
// thread or handle is left at the end. Runs on real time and keeps both cores busy, so it runs
// only when PLANKSCALE_STRESS_SECONDS says for how long (scripts/test.sh runs it alone, briefly,
// under each sanitizer; 600 for the long run).
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "sim/world.h"
#include "testing/eventually.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHostThreads = 4;
constexpr int kIndices = 3;  // two boards, and one index that is never filled
constexpr char kGuard = '\xA5';
constexpr size_t kGuardBytes = 16;
constexpr int kHostTimeoutMs = 20;
// A close is bound to 2 s a board; a call on a device that a close left to it may end that close.
constexpr auto kCallBound = std::chrono::milliseconds(2 * 2000 + 1000);
constexpr auto kOpenBound = std::chrono::seconds(20);  // a dozen exchanges on a slow link, then the close
const char* const kCommands[] = {">in/sampler/start\n", ">in/sampler/stop\n", "?nachans\n", "?basescaling\n",
                                 "?devicename\n", ">bb_zeroAllChans 2\n", "bogus\n", ">in/sampler/"};

int Seconds() {
  const char* text = std::getenv("PLANKSCALE_STRESS_SECONDS");
  return text ? std::atoi(text) : 0;
}

// A host buffer of room bytes between guard bytes that no call may touch.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(int room) : room_(room), bytes_(static_cast<size_t>(room) + 2 * kGuardBytes, kGuard) {}
  char* data() { return bytes_.data() + kGuardBytes; }
  int room() const { return room_; }
  bool Intact() const {
    auto outside = [this](size_t i) { return i < kGuardBytes || i >= kGuardBytes + static_cast<size_t>(room_); };
    for (size_t i = 0; i < bytes_.size(); ++i)
      if (outside(i) && bytes_[i] != kGuard) return false;
    return true;
  }

 private:
  int room_;
  std::vector<char> bytes_;
};

struct Tally {
  std::atomic<long> calls{0};
  std::atomic<long> overruns{0};
  std::atomic<long> sizesPastRoom{0};
  std::atomic<long> slowCalls{0};
  std::atomic<long> closes{0};
  std::atomic<long> finds{0};
  std::atomic<long> lost{0};
  std::atomic<long> longestCloseMs{0};
  std::atomic<long> longestCallMs{0};
};

void NoteLongest(std::atomic<long>& longest, long ms) {
  long seen = longest.load();
  while (ms > seen && !longest.compare_exchange_weak(seen, ms)) {
  }
}

sim::Scenario TwoPairedBoards() {
  sim::Scenario scenario;
  scenario.radios.push_back({sim::kDefaultRadioAddress, L"radio"});
  for (uint64_t n = 0; n < 2; ++n) {
    sim::SimulatedBoard board;
    board.bluetooth.address = sim::kDefaultBoardAddress + n;
    board.bluetooth.SetPaired(true);
    board.settings.reportIntervalMicros = 10'000;
    board.load = std::make_shared<sim::SwayingPerson>(70.0);
    scenario.boards.push_back(board);
  }
  return scenario;
}

class HostThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UseVirtualClock(false);
    CloseAll();
    handles = posix::LiveHandleCount();
    threads = posix::LiveThreadCount();
    sim::World::Instance().Build(TwoPairedBoards());
  }
  void TearDown() override {
    CloseAll();
    sim::World::Instance().Clear();
  }

  template <typename Call>
  void Timed(Call call, Clock::duration bound = kCallBound) {
    auto start = Clock::now();
    call();
    long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    ++tally.calls;
    NoteLongest(tally.longestCallMs, ms);
    if (Clock::now() - start > bound) ++tally.slowCalls;
  }

  void Check(GuardedBuffer& buffer) {
    if (!buffer.Intact()) ++tally.overruns;
  }

  void HostThread(unsigned seed) {
    std::mt19937 random(seed);
    while (Clock::now() < deadline) {
      int index = static_cast<int>(random() % kIndices);
      switch (random() % 6) {
        case 0: {  // the message: its size, then a buffer of that size
          int size = 0;
          Timed([&] { size = GetLastErrorMsg(index, nullptr); });
          GuardedBuffer buffer(std::max(size, 0));
          if (size > 0) Timed([&] { GetLastErrorMsg(index, buffer.data()); });
          Check(buffer);
          break;
        }
        case 1: {  // a command, then a reply line into a buffer that may be too small
          const char* command = kCommands[random() % (sizeof kCommands / sizeof kCommands[0])];
          Timed([&] { WriteBuffer(index, command, static_cast<int>(std::strlen(command)), 0); });
          GuardedBuffer line(1 + static_cast<int>(random() % 64));
          Timed([&] { ReadLine(index, line.data(), line.room(), kHostTimeoutMs); });
          Check(line);
          break;
        }
        case 2:
        case 3: {  // a sample block; a room too small for an abort line now and then
          GuardedBuffer block(static_cast<int>(random() % 600));
          int size = block.room();
          int got = 0;
          Timed([&] { got = ReadBuffer(index, block.data(), &size, kHostTimeoutMs); });
          // A block with no whole frame says 1 and writes nothing, even into no room at all.
          if (got && (size < 0 || size > std::max(block.room(), 1))) ++tally.sizesPastRoom;
          Check(block);
          break;
        }
        case 4:
          Timed([&] { Initialise(index); }, kOpenBound);
          break;
        default:
          Timed([&] {
            ReadBuffSize(index);
            IsFailed(index);
            if (random() % 8 == 0) FlushReadBuffer(index);
          });
          break;
      }
    }
  }

  // Closes everything now and then and finds the boards again: the calls of the other threads
  // meet devices that are closing and indices that are empty or new.
  void Manager(unsigned seed) {
    std::mt19937 random(seed);
    while (Clock::now() < deadline) {
      for (int found = 0, index = -1; found < 2 && FindDevice(&index); ++found) ++tally.finds;
      std::this_thread::sleep_for(std::chrono::milliseconds(200 + random() % 800));
      auto start = Clock::now();
      CloseAll();
      long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
      ++tally.closes;
      NoteLongest(tally.longestCloseMs, ms);
    }
  }

  // Presses, losses and a driver slow to cancel or to write, on both boards.
  void Chaos(unsigned seed) {
    std::mt19937 random(seed);
    const uint64_t cancelDelays[] = {0, 200'000, 1'000'000, sim::kNeverCancelled};
    const uint64_t writeDelays[] = {0, 0, 50'000, 300'000};
    while (Clock::now() < deadline) {
      auto board = sim::World::Instance().Board(random() % 2);
      uint64_t address = sim::kDefaultBoardAddress + (board == sim::World::Instance().Board(0) ? 0 : 1);
      switch (random() % 4) {
        case 0:
          board->SetButton(true);
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          board->SetButton(false);
          break;
        case 1:
          ++tally.lost;
          SwitchBoard(board, address, false);
          std::this_thread::sleep_for(std::chrono::milliseconds(300 + random() % 1200));
          SwitchBoard(board, address, true);
          break;
        case 2:
          board->DelayCancellation(cancelDelays[random() % 4]);
          break;
        default:
          board->DelayWrites(writeDelays[random() % 4]);
          break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 300));
    }
  }

  static void SwitchBoard(const std::shared_ptr<sim::BalanceBoard>& board, uint64_t address, bool on) {
    if (on) board->PowerOn(); else board->PowerOff();
    sim::BluetoothWorld::Instance().Update(address, [on](sim::BluetoothDeviceState& s) {
      s.inRange = on;
      s.connected = on && s.remembered;
    });
  }

  Clock::time_point deadline;
  Tally tally;
  int handles = 0;
  int threads = 0;
};

TEST_F(HostThreads, HammerTwoBoardsWhileTheyComeAndGoWithoutOverrunOrHang) {
  if (Seconds() <= 0) GTEST_SKIP() << "PLANKSCALE_STRESS_SECONDS is not set";
  deadline = Clock::now() + std::chrono::seconds(Seconds());
  std::vector<std::thread> workers;
  for (unsigned n = 0; n < kHostThreads; ++n) workers.emplace_back([this, n] { HostThread(n + 1); });
  workers.emplace_back([this] { Manager(100); });
  workers.emplace_back([this] { Chaos(200); });
  for (auto& worker : workers) worker.join();
  CloseAll();
  for (size_t n = 0; n < 2; ++n) {
    sim::World::Instance().Board(n)->DelayCancellation(0);
    sim::World::Instance().Board(n)->DelayWrites(0);
  }

  std::printf("host threads: %ld calls, %ld finds, %ld closes (longest %ld ms), %ld boards lost, longest call %ld ms\n",
              tally.calls.load(), tally.finds.load(), tally.closes.load(), tally.longestCloseMs.load(),
              tally.lost.load(), tally.longestCallMs.load());
  EXPECT_EQ(tally.overruns.load(), 0) << "a call wrote outside the host's buffer";
  EXPECT_EQ(tally.sizesPastRoom.load(), 0) << "a block said to be longer than the host's buffer";
  EXPECT_EQ(tally.slowCalls.load(), 0) << "a call took longer than its bound";
  EXPECT_LE(tally.longestCloseMs.load(), 2 * 2000 + 500) << "CloseAll of two boards";
  EXPECT_GT(tally.finds.load(), 0);
  EXPECT_TRUE(testing_support::Eventually([&] { return posix::LiveThreadCount() == threads; }, 30000))
      << "a reader never ended";
  EXPECT_TRUE(testing_support::Eventually([&] { return posix::LiveHandleCount() == handles; }, 30000))
      << "a handle was left open";
}

}  // namespace
