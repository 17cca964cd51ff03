// What the host waits for in FindDevice, on the real clock: a board the system remembers (paired,
// connected, its HID service on) and a machine without a Bluetooth radio.
#include "bench_world.h"
#include "plugin/exports.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

void TimeFindDevice(benchmark::State& state, const sim::Scenario& scenario, int expected) {
  bench::RealClockWorld world(scenario);
  for (auto _ : state) {
    auto started = std::chrono::steady_clock::now();
    int index = -1;
    int found = FindDevice(&index);
    auto took = std::chrono::steady_clock::now() - started;
    CloseAll();  // a fresh search each time, as after the host's CloseAll
    if (found != expected) {
      state.SkipWithError("FindDevice did not answer as the world says");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(took).count());
  }
}

void FindRememberedBoard(benchmark::State& state) {
  TimeFindDevice(state, bench::Scenario(true, true), 1);
}
BENCHMARK(FindRememberedBoard)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void FindWithoutRadio(benchmark::State& state) {
  TimeFindDevice(state, bench::Scenario(false, false), 0);
}
BENCHMARK(FindWithoutRadio)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
