// The virtual clock: long waits cost no real time, timers run in order at their time.
#include "testing/eventually.h"
#include "testing/scripted_endpoint.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace {

using testing_support::VirtualClock;

constexpr uint64_t kMs = 1000;

std::chrono::steady_clock::duration RealTimeOf(void (*work)()) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::steady_clock::now() - start;
}

TEST(VirtualClockTest, LongWaitsTakeTheirTimeAtOnce) {
  VirtualClock clock;
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  static HANDLE waitedOn;
  waitedOn = event;
  uint64_t before = posix::NowMicros();
  DWORD ticks = GetTickCount();
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);

  auto real = RealTimeOf([] { EXPECT_EQ(WaitForSingleObject(waitedOn, 5000), WAIT_TIMEOUT); });
  EXPECT_EQ(posix::NowMicros() - before, 5000 * kMs);
  EXPECT_EQ(GetTickCount() - ticks, 5000u);
  LARGE_INTEGER after;
  QueryPerformanceCounter(&after);
  EXPECT_EQ(after.QuadPart - counter.QuadPart, 5 * frequency.QuadPart);
  EXPECT_LT(real, std::chrono::seconds(1));

  real = RealTimeOf([] { Sleep(60 * 1000); });
  EXPECT_EQ(posix::NowMicros() - before, 65000 * kMs);
  EXPECT_LT(real, std::chrono::seconds(1));
  CloseHandle(event);
}

TEST(VirtualClockTest, AdvancingRunsTimersInOrderAtTheirTimes) {
  VirtualClock clock;
  uint64_t start = posix::NowMicros();
  std::vector<uint64_t> ran;  // offsets at which the actions ran
  posix::ScheduleAt(start + 300 * kMs, [&] { ran.push_back(posix::NowMicros() - start); });
  posix::ScheduleAt(start + 100 * kMs, [&] { ran.push_back(posix::NowMicros() - start); });
  posix::TimerId never = posix::ScheduleAt(start + 200 * kMs, [&] { ran.push_back(0); });
  posix::ScheduleAt(start + 900 * kMs, [&] { ran.push_back(posix::NowMicros() - start); });
  posix::CancelTimer(never);

  posix::AdvanceClock(500 * kMs);
  EXPECT_EQ(ran, (std::vector<uint64_t>{100 * kMs, 300 * kMs}));
  EXPECT_EQ(posix::NowMicros() - start, 500 * kMs);
  posix::AdvanceClock(500 * kMs);
  EXPECT_EQ(ran.size(), 3u);
}

TEST(VirtualClockTest, ATimerWakesAWaiterAtItsTime) {
  VirtualClock clock;
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  uint64_t start = posix::NowMicros();
  posix::ScheduleAt(start + 300 * kMs, [event] { SetEvent(event); });
  EXPECT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(posix::NowMicros() - start, 300 * kMs);

  // Due before it was set (its time read just before the clock moved on): it runs at once.
  posix::ScheduleAt(start, [event] { SetEvent(event); });
  EXPECT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(posix::NowMicros() - start, 300 * kMs);
  CloseHandle(event);
}

TEST(VirtualClockTest, BackToRealTimeNeverRunsBackwards) {
  uint64_t later;
  {
    VirtualClock clock;
    posix::AdvanceClock(3600 * 1000 * kMs);
    later = posix::NowMicros();
  }
  EXPECT_GE(posix::NowMicros(), later);
  std::atomic<bool> ran{false};
  posix::ScheduleAt(posix::NowMicros() + 20 * kMs, [&] { ran = true; });
  EXPECT_TRUE(testing_support::Eventually([&] { return ran.load(); })) << "real-time timers run by themselves";
}

}  // namespace
