// The simulated world runs on this layer's clock, so that moving the virtual clock moves the
// boards and the scenario's events too.
#include "platform/posix/control.h"
#include "sim/clock.h"

namespace {

class LayerClock : public sim::Clock {
 public:
  uint64_t NowMicros() override { return posix::NowMicros(); }
  sim::TimerId ScheduleAt(uint64_t atMicros, std::function<void()> action) override {
    return posix::ScheduleAt(atMicros, std::move(action));
  }
  void CancelTimer(sim::TimerId id) override { posix::CancelTimer(id); }
  // Through Sleep, so that a sleeping board moves the virtual clock as any sleeping thread does.
  void SleepFor(uint64_t micros) override { Sleep(static_cast<DWORD>((micros + 999) / 1000)); }
};

}  // namespace

sim::Clock& sim::HostClock() {
  static LayerClock* clock = new LayerClock;  // boards' timers may still ask at the end of the process
  return *clock;
}
