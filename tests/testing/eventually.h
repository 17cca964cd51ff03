// Bounded polling for conditions that another thread makes true.
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// True as soon as condition() holds; false after timeoutMs of real time.
template <typename Condition>
bool Eventually(Condition condition, int timeoutMs = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace testing_support
