// The virtual clock and the plug-in's own threads: time does not jump while one of them runs,
// however slowly the system schedules it, so a bounded wait never outruns a thread's start.
#include "testing/scripted_endpoint.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using testing_support::VirtualClock;

std::atomic<uint64_t> seenAt{0};

// Works for longer than the clock's quiet period without waiting on anything, then notes the time.
DWORD WINAPI BusyThenNote(void*) {
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // not a kernel wait: still running
  seenAt.store(posix::NowMicros());
  return 0;
}

TEST(VirtualClockThreads, AWaitDoesNotJumpPastAThreadThatIsStillRunning) {
  VirtualClock clock;
  const uint64_t start = posix::NowMicros();
  HANDLE thread = CreateThread(nullptr, 0, &BusyThenNote, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 1500), WAIT_OBJECT_0);
  EXPECT_EQ(seenAt.load(), start) << "the clock moved while the thread was running";
  CloseHandle(thread);
}

DWORD WINAPI SleepOneSecond(void*) {
  Sleep(1000);
  return 0;
}

TEST(VirtualClockThreads, TimeStillJumpsOnceEveryThreadWaits) {
  VirtualClock clock;
  const uint64_t start = posix::NowMicros();
  auto real = std::chrono::steady_clock::now();
  HANDLE thread = CreateThread(nullptr, 0, &SleepOneSecond, nullptr, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(posix::NowMicros() - start, 1'000'000u);
  EXPECT_LT(std::chrono::steady_clock::now() - real, std::chrono::seconds(1));
  CloseHandle(thread);
}

}  // namespace
