// Several host threads on the exports of two boards at once (message quotes and reads, commands
// and reply lines, sample blocks, opens), while one thread closes everything and finds the boards
// again and another searches beside it, and the boards are pressed, lost and found again behind a
// driver that is slow to cancel or to write. Short-lived threads ask message sizes between other
// threads' quotes and reads; two or three calls wait on one board when it closes; two threads take
// reply lines while a third writes commands; and now and then a process of its own unloads the
// plug-in with its reader stuck in the driver. Every host buffer carries guard bytes; every call
// returns within its bound, a waiting call at once at a close; no thread, handle or quote is left
// at the end. Runs on real time and keeps both cores busy, so it runs only when
// PLANKSCALE_STRESS_SECONDS says for how long (scripts/test.sh runs it alone, briefly, under each
// sanitizer; 600 for the long run).
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "plugin/message_quotes.h"
#include "sim/world.h"
#include "testing/eventually.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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
// A call waiting on a board that closes returns at once; when it was the last to hold the board it
// then runs the board's close, at most 2 s.
constexpr auto kWaitEndsAfterClose = std::chrono::milliseconds(2000 + 500);
constexpr int kLongWaitMs = 3000;
constexpr int kShortLivedThreadsAtOnce = 8;
// The unload in a process of its own: the library-unload test with a reader stuck in the driver.
const char kUnloadChildFilter[] = "--gtest_filter=Drivers/LibraryUnloadWithAStuckReader.*";
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
  std::atomic<long> threads{0};  // host threads, short-lived ones among them
  std::atomic<long> unloads{0};
  std::atomic<long> failedUnloads{0};
  std::atomic<long> waitsAtClose{0};
  std::atomic<long> waitsHeldPastClose{0};
  std::atomic<long> overruns{0};
  std::atomic<long> sizesPastRoom{0};
  std::atomic<long> slowCalls{0};
  std::atomic<long> closes{0};
  std::atomic<long> finds{0};
  std::atomic<long> lost{0};
  std::atomic<long> longestCloseMs{0};
  std::atomic<long> longestCallMs{0};  // a close that falls to a host thread's call is in it
  std::atomic<long> longestOpenMs{0};
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
    NoteLongest(bound == kOpenBound ? tally.longestOpenMs : tally.longestCallMs, ms);
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
      auto end = Clock::now();
      {
        std::lock_guard<std::mutex> guard(closesLock);
        closeEnds.push_back(end);
      }
      long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count());
      ++tally.closes;
      NoteLongest(tally.longestCloseMs, ms);
    }
  }

  // A search beside the manager's closes: the two take turns, and a close stops a search.
  void Finder(unsigned seed) {
    std::mt19937 random(seed);
    while (Clock::now() < deadline) {
      int index = -1;
      Timed([&] { FindDevice(&index); }, kOpenBound);
      std::this_thread::sleep_for(std::chrono::milliseconds(1000 + random() % 3000));
    }
  }

  // A call with a long time-out on a board: when the board closes meanwhile, it returns at once.
  void Waiter(unsigned seed) {
    std::mt19937 random(seed);
    while (Clock::now() < deadline) {
      int index = static_cast<int>(random() % 2);
      GuardedBuffer buffer(64);
      auto start = Clock::now();
      if (random() % 2) {
        Timed([&] { ReadLine(index, buffer.data(), buffer.room(), kLongWaitMs); });
      } else {
        int size = buffer.room();
        Timed([&] { ReadBuffer(index, buffer.data(), &size, kLongWaitMs); });
      }
      Check(buffer);
      NoteWaitAtClose(start, Clock::now());
    }
  }

  void NoteWaitAtClose(Clock::time_point start, Clock::time_point end) {
    std::lock_guard<std::mutex> guard(closesLock);
    for (auto close : closeEnds) {
      if (close <= start || close > end) continue;
      ++tally.waitsAtClose;
      if (end - close > kWaitEndsAfterClose) ++tally.waitsHeldPastClose;
      return;
    }
  }

  // Two threads take reply lines of board 0 while a third writes its commands.
  void LineReader() {
    while (Clock::now() < deadline) {
      GuardedBuffer line(64);
      Timed([&] { ReadLine(0, line.data(), line.room(), kHostTimeoutMs); });
      Check(line);
    }
  }
  void CommandWriter(unsigned seed) {
    std::mt19937 random(seed);
    while (Clock::now() < deadline) {
      const char* command = kCommands[random() % (sizeof kCommands / sizeof kCommands[0])];
      Timed([&] { WriteBuffer(0, command, static_cast<int>(std::strlen(command)), 0); });
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Threads that live for one question: the size of a message, now and then read into a buffer of
  // that size, of any index. Their quotes go with them; no other thread's quote may go first.
  void ShortLivedAskers(unsigned seed) {
    std::mt19937 random(seed);
    while (Clock::now() < deadline) {
      std::vector<std::thread> askers;
      for (int n = 0; n < kShortLivedThreadsAtOnce; ++n) {
        int index = static_cast<int>(random() % (kIndices + 1)) - 1;
        bool read = random() % 2 == 0;
        askers.emplace_back([this, index, read] {
          int size = 0;
          Timed([&] { size = GetLastErrorMsg(index, nullptr); });
          if (!read || size <= 0) return;
          GuardedBuffer buffer(size);
          Timed([&] { GetLastErrorMsg(index, buffer.data()); });
          Check(buffer);
        });
      }
      for (auto& asker : askers) asker.join();
      tally.threads += kShortLivedThreadsAtOnce;
    }
  }

  // One process after another unloads the plug-in with its reader stuck in the driver.
  void Unloads() {
    while (Clock::now() < deadline) {
      char self[] = "/proc/self/exe";
      char filter[sizeof kUnloadChildFilter];
      std::memcpy(filter, kUnloadChildFilter, sizeof filter);
      char* argv[] = {self, filter, nullptr};
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
      pid_t child = 0;
      int status = 0;
      bool ran = posix_spawn(&child, self, &actions, nullptr, argv, environ) == 0 && waitpid(child, &status, 0) == child;
      posix_spawn_file_actions_destroy(&actions);
      ++(ran && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? tally.unloads : tally.failedUnloads);
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
  std::mutex closesLock;
  std::vector<Clock::time_point> closeEnds;  // guarded by closesLock
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
  workers.emplace_back([this] { Finder(300); });
  for (unsigned n = 0; n < 3; ++n) workers.emplace_back([this, n] { Waiter(400 + n); });
  workers.emplace_back([this] { LineReader(); });
  workers.emplace_back([this] { LineReader(); });
  workers.emplace_back([this] { CommandWriter(500); });
  workers.emplace_back([this] { ShortLivedAskers(600); });
  workers.emplace_back([this] { Unloads(); });
  tally.threads += static_cast<long>(workers.size());
  for (auto& worker : workers) worker.join();
  CloseAll();
  for (size_t n = 0; n < 2; ++n) {
    sim::World::Instance().Board(n)->DelayCancellation(0);
    sim::World::Instance().Board(n)->DelayWrites(0);
  }

  std::printf("host threads: %ld calls from %ld threads, %ld finds, %ld CloseAll (longest %ld ms), %ld unloads, "
              "%ld calls waiting at a close, %ld boards lost, longest call %ld ms (opens and finds: %ld ms)\n",
              tally.calls.load(), tally.threads.load(), tally.finds.load(), tally.closes.load(),
              tally.longestCloseMs.load(), tally.unloads.load(), tally.waitsAtClose.load(), tally.lost.load(),
              tally.longestCallMs.load(), tally.longestOpenMs.load());
  EXPECT_EQ(tally.overruns.load(), 0) << "a call wrote outside the host's buffer";
  EXPECT_EQ(tally.sizesPastRoom.load(), 0) << "a block said to be longer than the host's buffer";
  EXPECT_EQ(tally.slowCalls.load(), 0) << "a call took longer than its bound";
  // Two boards, and a search beside it that stops within its Bluetooth call.
  EXPECT_LE(tally.longestCloseMs.load(), 2 * 2000 + 3000) << "CloseAll of two boards";
  EXPECT_GT(tally.finds.load(), 0);
  EXPECT_EQ(tally.waitsHeldPastClose.load(), 0) << "a call waited on after its board closed";
  EXPECT_EQ(tally.failedUnloads.load(), 0) << "an unload with a stuck reader went wrong";
  EXPECT_GT(tally.unloads.load(), 0);
  EXPECT_TRUE(testing_support::Eventually([] { return MessageQuotes::ThreadsHeld() == 0; }))
      << "a thread's quotes outlived it";
  EXPECT_TRUE(testing_support::Eventually([&] { return posix::LiveThreadCount() == threads; }, 30000))
      << "a reader never ended";
  EXPECT_TRUE(testing_support::Eventually([&] { return posix::LiveHandleCount() == handles; }, 30000))
      << "a handle was left open";
}

}  // namespace
