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
};

}  // namespace

sim::Clock& sim::HostClock() {
  static LayerClock clock;
  return clock;
}
