// Real time and one timer thread, built on the C++ library alone so that it runs in any process.
#include "sim/clock.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace sim {

namespace {

class SteadyClock : public Clock {
 public:
  SteadyClock() : origin_(std::chrono::steady_clock::now()) { std::thread([this] { Run(); }).detach(); }

  uint64_t NowMicros() override {
    auto elapsed = std::chrono::steady_clock::now() - origin_;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
  }

  TimerId ScheduleAt(uint64_t atMicros, std::function<void()> action) override {
    std::lock_guard<std::mutex> guard(lock_);
    TimerId id = nextId_++;
    timers_.emplace(std::make_pair(atMicros, id), std::move(action));
    changed_.notify_one();
    return id;
  }

  void SleepFor(uint64_t micros) override { std::this_thread::sleep_for(std::chrono::microseconds(micros)); }
  void CancelTimer(TimerId id) override {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->first.second != id) continue;
      timers_.erase(it);
      return;
    }
  }

 private:
  // Lives as long as the process: timers may be due until its very end.
  void Run() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
      if (timers_.empty()) {
        changed_.wait(lock);
        continue;
      }
      auto first = timers_.begin();
      uint64_t due = first->first.first;
      uint64_t now = NowMicros();
      if (due > now) {
        changed_.wait_for(lock, std::chrono::microseconds(due - now));
        continue;
      }
      std::function<void()> action = std::move(first->second);
      timers_.erase(first);
      lock.unlock();
      action();
      lock.lock();
    }
  }

  const std::chrono::steady_clock::time_point origin_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::map<std::pair<uint64_t, TimerId>, std::function<void()>> timers_;  // by due time, then id
  TimerId nextId_ = 1;
};

}  // namespace

Clock& RealTimeClock() {
  static SteadyClock* clock = new SteadyClock;  // its thread runs to the end of the process
  return *clock;
}

}  // namespace sim
