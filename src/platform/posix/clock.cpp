#include "platform/posix/clock.h"

#include "platform/posix/control.h"
#include "platform/posix/kernel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <thread>

constexpr int64_t kMicrosPerSecond = 1'000'000;

namespace posix {

namespace {

constexpr uint64_t kNoDeadline = UINT64_MAX;
// How long every waiter must have seen nothing happen before the virtual clock jumps.
constexpr auto kQuietPeriod = std::chrono::milliseconds(2);
// Real-time waits wake at least this often, so a switch of clocks is noticed.
constexpr uint64_t kLongestRealWaitMicros = 50'000;
constexpr const char* kClockVariable = "PLANKSCALE_CLOCK";

struct Timer {
  TimerId id;
  std::function<void()> action;
};

struct ClockState {
  std::atomic<bool> virtualOn{false};
  std::atomic<uint64_t> virtualNow{0};
  std::atomic<uint64_t> realOffset{0};
  // Guarded by the kernel lock:
  std::multimap<uint64_t, Timer> timers;
  std::multiset<uint64_t> waiterDeadlines;
  TimerId nextTimerId = 1;
  bool advancing = false;
  bool timerThreadStarted = false;
  bool stopping = false;
  std::thread timerThread;
};

ClockState& State() {
  // Outlives every static destructor: a reader thread that ends last may still close a board,
  // whose timers are cancelled here, while the process exits.
  static ClockState* state = new ClockState;
  return *state;
}

// The timer thread ends with the process's static objects; timers are not run after that.
struct TimerThreadEnd {
  ~TimerThreadEnd() {
    ClockState& s = State();
    {
      std::lock_guard<std::mutex> guard(TheKernel().lock);
      s.stopping = true;
      NotifyChangedLocked();
    }
    if (s.timerThread.joinable()) s.timerThread.join();
  }
} timerThreadEnd;

uint64_t RealMicros() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// Pops the earliest timer due at or before limit. Kernel lock held.
bool PopDueTimer(ClockState& s, uint64_t limit, uint64_t& at, Timer& timer) {
  if (s.timers.empty() || s.timers.begin()->first > limit) return false;
  at = s.timers.begin()->first;
  timer = std::move(s.timers.begin()->second);
  s.timers.erase(s.timers.begin());
  return true;
}

// Moves the virtual clock to target, running the timers on the way in order. Called, and returns,
// with the kernel lock held; the lock is let go only while a timer's action runs.
void AdvanceVirtualLocked(std::unique_lock<std::mutex>& lock, uint64_t target) {
  ClockState& s = State();
  if (s.advancing) return;  // another thread is moving time; it will wake us
  s.advancing = true;
  for (;;) {
    uint64_t at = 0;
    Timer timer;
    if (!PopDueTimer(s, target, at, timer)) break;
    if (at > s.virtualNow.load()) s.virtualNow.store(at);
    NotifyChangedLocked();
    lock.unlock();
    timer.action();
    lock.lock();
  }
  if (target > s.virtualNow.load()) s.virtualNow.store(target);
  s.advancing = false;
  NotifyChangedLocked();
}

void AdvanceVirtualTo(uint64_t target) {
  std::unique_lock<std::mutex> lock(TheKernel().lock);
  AdvanceVirtualLocked(lock, target);
}

void TimerThreadMain() {
  ClockState& s = State();
  Kernel& k = TheKernel();
  std::unique_lock<std::mutex> lock(k.lock);
  while (!s.stopping) {
    if (s.virtualOn.load() || s.timers.empty()) {
      k.changed.wait_for(lock, std::chrono::microseconds(kLongestRealWaitMicros));
      continue;
    }
    uint64_t now = NowMicros();
    uint64_t at = 0;
    Timer timer;
    if (PopDueTimer(s, now, at, timer)) {
      lock.unlock();
      timer.action();
      lock.lock();
      continue;
    }
    uint64_t wait = std::min(s.timers.begin()->first - now, kLongestRealWaitMicros);
    k.changed.wait_for(lock, std::chrono::microseconds(wait));
  }
}

}  // namespace

uint64_t NowMicros() {
  ClockState& s = State();
  if (s.virtualOn.load(std::memory_order_acquire)) return s.virtualNow.load(std::memory_order_acquire);
  return RealMicros() + s.realOffset.load(std::memory_order_relaxed);
}

void UseVirtualClock(bool on) {
  ClockState& s = State();
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  if (on == s.virtualOn.load()) return;
  if (on) {
    s.virtualNow.store(RealMicros() + s.realOffset.load());
  } else {
    uint64_t real = RealMicros();
    uint64_t now = s.virtualNow.load();
    s.realOffset.store(now > real ? now - real : 0);  // time never runs backwards
  }
  s.virtualOn.store(on, std::memory_order_release);
  NotifyChangedLocked();
}

bool UsingVirtualClock() { return State().virtualOn.load(); }

void AdvanceClock(uint64_t micros) {
  if (!UsingVirtualClock()) return;
  AdvanceVirtualTo(NowMicros() + micros);
}

TimerId ScheduleAt(uint64_t atMicros, std::function<void()> action) {
  ClockState& s = State();
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  TimerId id = s.nextTimerId++;
  s.timers.emplace(atMicros, Timer{id, std::move(action)});
  if (!s.timerThreadStarted && !s.stopping) {
    s.timerThreadStarted = true;
    s.timerThread = std::thread(TimerThreadMain);
  }
  NotifyChangedLocked();
  return id;
}

void CancelTimer(TimerId id) {
  ClockState& s = State();
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  for (auto it = s.timers.begin(); it != s.timers.end(); ++it) {
    if (it->second.id == id) {
      s.timers.erase(it);
      return;
    }
  }
}

namespace {

// PLANKSCALE_CLOCK=virtual runs a whole program on the virtual clock, from a whole second, with
// its first thread counted among the platform's: time then moves only while the program waits,
// so two runs of one world see the same moments (a capture and its replay, frame for frame).
struct ClockFromEnvironment {
  ClockFromEnvironment() {
    const char* choice = std::getenv(kClockVariable);
    if (!choice || std::strcmp(choice, "virtual") != 0) return;
    AdoptCallingThread();
    UseVirtualClock(true);
    const auto second = static_cast<uint64_t>(kMicrosPerSecond);
    AdvanceClock(second - NowMicros() % second);
  }
} clockFromEnvironment;

}  // namespace

uint64_t DeadlineAfterMillis(uint32_t milliseconds) {
  if (milliseconds == INFINITE) return kNoDeadline;
  return NowMicros() + static_cast<uint64_t>(milliseconds) * 1000;
}

bool WaitStep(std::unique_lock<std::mutex>& kernelLock, uint64_t deadlineMicros, const KernelObject* const* objects,
              size_t objectCount) {
  ClockState& s = State();
  Kernel& k = TheKernel();
  uint64_t now = NowMicros();
  if (now >= deadlineMicros) return false;

  Waiter self;
  self.objects = objects;
  self.objectCount = objectCount;
  k.waiters.push_back(&self);
  const bool platformThread = IsPlatformThread();
  if (platformThread) --k.runningThreads;
  struct Leave {  // runs with the kernel lock held on every way out
    Kernel& k;
    Waiter* self;
    bool platformThread;
    ~Leave() {
      k.waiters.erase(std::find(k.waiters.begin(), k.waiters.end(), self));
      if (platformThread) ++k.runningThreads;
    }
  } leave{k, &self, platformThread};

  if (!s.virtualOn.load()) {
    uint64_t wait = std::min(deadlineMicros - now, kLongestRealWaitMicros);
    self.wake.wait_for(kernelLock, std::chrono::microseconds(wait));
    return true;
  }

  auto registered = s.waiterDeadlines.insert(deadlineMicros);
  uint64_t seen = k.activity;
  self.wake.wait_for(kernelLock, kQuietPeriod);
  bool quiet = k.activity == seen && !s.advancing && k.runningThreads == 0 &&
               std::none_of(k.waiters.begin(), k.waiters.end(), [&](const Waiter* w) { return w != &self && w->woken; });
  uint64_t target = *s.waiterDeadlines.begin();
  s.waiterDeadlines.erase(registered);
  if (!quiet || !s.virtualOn.load()) return true;
  if (!s.timers.empty()) target = std::min(target, s.timers.begin()->first);
  if (target == kNoDeadline) return true;
  // A timer can be due already: its time was read just before another thread moved the clock on.
  target = std::max(target, s.virtualNow.load());
  // Claimed before the lock is let go: another waiter that looked now would see everyone quiet
  // but miss this waiter's deadline, and jump past it.
  AdvanceVirtualLocked(kernelLock, target);
  return true;
}

}  // namespace posix

void Sleep(DWORD milliseconds) {
  using namespace posix;
  if (!UsingVirtualClock()) {
    if (milliseconds == INFINITE) milliseconds = 0x7FFFFFFF;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return;
  }
  uint64_t deadline = DeadlineAfterMillis(milliseconds);
  std::unique_lock<std::mutex> lock(TheKernel().lock);
  WaitUntil(lock, deadline, [] { return false; });
}

DWORD GetTickCount() { return static_cast<DWORD>(posix::NowMicros() / 1000); }


// The frequency of the ACPI power-management timer that many PCs count with: not a whole number
// of ticks a microsecond, so the counter-to-microsecond step of the pacing has to round.
constexpr int64_t kCounterFrequency = 3'579'545;

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = kCounterFrequency;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  // Split at whole seconds so the product cannot overflow however long the clock has run.
  auto micros = static_cast<int64_t>(posix::NowMicros());
  count->QuadPart = micros / kMicrosPerSecond * kCounterFrequency +
                    micros % kMicrosPerSecond * kCounterFrequency / kMicrosPerSecond;
  return TRUE;
}

void GetSystemTime(SYSTEMTIME* time) {
  using namespace std::chrono;
  // The wall clock when the layer's clock read zero, taken once: from then on the date moves with
  // the layer's clock, so that on the virtual clock it runs as fast as the tests make time run.
  static const int64_t wallAtZero = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count() -
                                    static_cast<int64_t>(posix::NowMicros());
  int64_t micros = wallAtZero + static_cast<int64_t>(posix::NowMicros());
  int64_t days = micros / (86'400 * kMicrosPerSecond);
  int64_t ofDay = micros % (86'400 * kMicrosPerSecond);
  // Days since 1970-01-01 to a civil date (proleptic Gregorian calendar, eras of 400 years).
  int64_t z = days + 719'468;
  int64_t era = z / 146'097;
  int64_t dayOfEra = z - era * 146'097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1'460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  time->wYear = static_cast<WORD>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  time->wMonth = static_cast<WORD>(month);
  time->wDay = static_cast<WORD>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  time->wDayOfWeek = static_cast<WORD>((days + 4) % 7);  // 1970-01-01 was a Thursday
  time->wHour = static_cast<WORD>(ofDay / (3'600 * kMicrosPerSecond));
  time->wMinute = static_cast<WORD>(ofDay / (60 * kMicrosPerSecond) % 60);
  time->wSecond = static_cast<WORD>(ofDay / kMicrosPerSecond % 60);
  time->wMilliseconds = static_cast<WORD>(ofDay / 1000 % 1000);
}
