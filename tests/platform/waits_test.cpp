// The waits the plug-in's design stands on, as Windows gives them: a wait for any of several
// events, a signal and a wait as one step, and a thread ended by ExitThread queued as an APC while
// it waits alertably. Natively the POSIX layer answers; under Wine, Windows' own.
#include "platform/win32.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kLongWaitMs = 10000;

DWORD WINAPI ParkThenRunNothing(void* parked) {
  // Waits on itself, alertably: only an APC ends this.
  SignalObjectAndWait(static_cast<HANDLE>(parked), GetCurrentThread(), INFINITE, TRUE);
  return 1;  // not reached: the APC is ExitThread
}

TEST(Waits, AnyOfSeveralTakesTheFirstSignalledAndConsumesOnlyIt) {
  HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE first = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE second = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE events[] = {manual, first, second};
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(second);
  SetEvent(first);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2) << "the second kept its signal";
  SetEvent(manual);
  SetEvent(first);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0) << "the lowest index wins";
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0) << "a manual-reset event stays set";
  for (HANDLE event : events) CloseHandle(event);
}

TEST(Waits, AThreadParkedInAnAlertableWaitEndsWithTheExitCodeOfItsApc) {
  HANDLE parked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, &ParkThenRunNothing, parked, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(parked, kLongWaitMs), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "parked until told";
  EXPECT_NE(QueueUserAPC(reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(&ExitThread)), thread, 42), 0u);
  ASSERT_EQ(WaitForSingleObject(thread, kLongWaitMs), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  CloseHandle(thread);
  CloseHandle(parked);
}

}  // namespace
