// Holds the virtual clock still while it lives: a platform thread that is not waiting keeps the
// clock from jumping on its own, so time moves only when the test moves it (posix::AdvanceClock).
#pragma once

#include "platform/posix/control.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace testing_support {

class ClockHold {
 public:
  ClockHold() : thread_(CreateThread(nullptr, 0, &ClockHold::Run, &stop_, 0, nullptr)) {}
  ~ClockHold() {
    stop_.store(true);
    WaitForSingleObject(thread_, kStopWaitMs);
    CloseHandle(thread_);
  }
  ClockHold(const ClockHold&) = delete;
  ClockHold& operator=(const ClockHold&) = delete;

 private:
  static constexpr DWORD kStopWaitMs = 5000;
  static DWORD WINAPI Run(void* stop) {
    while (!static_cast<std::atomic<bool>*>(stop)->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
  }
  std::atomic<bool> stop_{false};
  HANDLE thread_;
};

}  // namespace testing_support
