// The time the simulated world runs on. The face that hosts the world supplies it: the POSIX
// layer its own clock (real, or virtual for tests), a Windows process real time.
#pragma once

#include <cstdint>
#include <functional>

namespace sim {

using TimerId = uint64_t;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint64_t NowMicros() = 0;
  // Runs action once the clock reaches atMicros, on a thread of the clock's, with no lock held.
  virtual TimerId ScheduleAt(uint64_t atMicros, std::function<void()> action) = 0;
  virtual void CancelTimer(TimerId id) = 0;
  // Blocks the calling thread until the clock has moved on by micros.
  virtual void SleepFor(uint64_t micros) = 0;
};

// Defined by the face the world runs behind.
Clock& HostClock();

// A clock on real time with one timer thread, for faces that have no clock of their own.
Clock& RealTimeClock();

inline uint64_t NowMicros() { return HostClock().NowMicros(); }
inline TimerId ScheduleAt(uint64_t atMicros, std::function<void()> action) {
  return HostClock().ScheduleAt(atMicros, std::move(action));
}
inline void CancelTimer(TimerId id) { HostClock().CancelTimer(id); }
inline void SleepFor(uint64_t micros) { HostClock().SleepFor(micros); }

}  // namespace sim
