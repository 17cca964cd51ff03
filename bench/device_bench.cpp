// The device core's hot paths: appending frames, taking them in blocks, and the time from a
// report's completion on the simulated HID device to the return of the host's waiting read.
#include "testing/fake_device.h"
#include "testing/scripted_endpoint.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Kestrel::SampleWord;
using testing_support::FakeDevice;
using testing_support::ScriptedDevice;

constexpr int kBlockFrames = 100;
constexpr int kBlockBytes = 1 + 8 * kBlockFrames;
constexpr int kRingFrames = 8191;
constexpr int kLatencyReports = 10000;
constexpr auto kPoll = std::chrono::microseconds(20);

benchmark::Counter PerFrame(double frames) {
  return benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void AppendFrame(benchmark::State& state) {
  FakeDevice device(nullptr, L"Board", L"1");
  device.InitialiseWithoutReader();
  const SampleWord frame[4] = {1, 2, 3, 4};
  for (auto _ : state) {
    for (int i = 0; i < kBlockFrames; ++i) benchmark::DoNotOptimize(device.AppendFrame(frame));
    device.FlushReadBuffer();
  }
  state.counters["frame"] = PerFrame(static_cast<double>(state.iterations()) * kBlockFrames);
}
BENCHMARK(AppendFrame);

void ReadBufferBlock(benchmark::State& state) {
  FakeDevice device(nullptr, L"Board", L"1");
  device.InitialiseWithoutReader();
  const SampleWord frame[4] = {1, 2, 3, 4};
  std::string block(kBlockBytes, '\0');
  for (auto _ : state) {
    if (device.ReadBuffSize() < 4 * kBlockFrames) {
      state.PauseTiming();
      while (device.AppendFrame(frame)) {
      }
      state.ResumeTiming();
    }
    int size = kBlockBytes;
    device.ReadBuffer(&block[0], &size, 0);
    benchmark::DoNotOptimize(block.data());
  }
  state.counters["frame"] = PerFrame(static_cast<double>(state.iterations()) * kBlockFrames);
}
BENCHMARK(ReadBufferBlock);

int64_t NowNanos() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

double Percentile(const std::vector<double>& sorted, double p) {
  size_t index = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[index];
}

void Summarise(benchmark::State& state, const char* name, std::vector<double>& micros) {
  std::sort(micros.begin(), micros.end());
  state.counters[std::string(name) + "_median_us"] = Percentile(micros, 0.5);
  state.counters[std::string(name) + "_p99_us"] = Percentile(micros, 0.99);
}

// Notes when the reader thread hands a report over, to split the latency into its two hops.
class TimedDevice : public FakeDevice {
 public:
  using FakeDevice::FakeDevice;
  bool OnInputReport(const uint8_t* report, int length, int64_t timestamp) override {
    handedOverAt.store(NowNanos(), std::memory_order_release);
    return FakeDevice::OnInputReport(report, length, timestamp);
  }
  std::atomic<int64_t> handedOverAt{0};
};

// One report at a time: the host waits in ReadBuffer, then the report completes the reader
// thread's pending read; measured until ReadBuffer returns with the frame. The report comes
// from a thread of its own, or (timer = 1) from the platform's timer thread, as the simulated
// board sends its reports.
void ReportToHostLatency(benchmark::State& state) {
  ScriptedDevice sim;
  TimedDevice device(sim.Open(), L"Board", L"1");
  device.Initialise();
  device.WriteBuffer(">in/sampler/start\n", 18, 0);
  char reply[16];
  device.ReadLine(reply, sizeof reply, 0);
  const auto report = testing_support::FrameReport({1, 2, 3, 4});
  const auto settle = std::chrono::microseconds(state.range(0));
  const bool fromTimer = state.range(1) != 0;
  constexpr int kGiveUp = -2;

  std::vector<double> total, toReader, toHost;
  for (auto _ : state) {
    std::atomic<int> hostWaiting{-1};
    std::atomic<int64_t> sentAt{0};
    auto send = [&] {
      sentAt.store(NowNanos(), std::memory_order_release);
      sim.Endpoint().Send(report);
    };
    std::thread sender([&] {
      for (int i = 0; i < kLatencyReports; ++i) {
        // Polled with sleeps: a spinning sender would take a core from the threads measured.
        while (hostWaiting.load(std::memory_order_acquire) != i) {
          if (hostWaiting.load() == kGiveUp) return;
          std::this_thread::sleep_for(kPoll);
        }
        while (sim.Endpoint().PendingReadCount() == 0) std::this_thread::sleep_for(kPoll);
        if (fromTimer) {
          posix::ScheduleAt(posix::NowMicros() + static_cast<uint64_t>(settle.count()), send);
        } else {
          std::this_thread::sleep_for(settle);  // the host is blocked in its wait by now
          send();
        }
      }
    });
    char block[64];
    for (int i = 0; i < kLatencyReports; ++i) {
      int size = sizeof block;
      hostWaiting.store(i, std::memory_order_release);
      bool got = device.ReadBuffer(block, &size, 1000);
      int64_t returned = NowNanos();
      if (!got || size != 9) {
        hostWaiting.store(kGiveUp);
        state.SkipWithError("the host missed a report");
        break;
      }
      int64_t sent = sentAt.load(std::memory_order_acquire);
      int64_t handedOver = device.handedOverAt.load(std::memory_order_acquire);
      total.push_back(static_cast<double>(returned - sent) / 1000.0);
      toReader.push_back(static_cast<double>(handedOver - sent) / 1000.0);
      toHost.push_back(static_cast<double>(returned - handedOver) / 1000.0);
    }
    sender.join();
  }
  if (total.empty()) return;
  state.counters["reports"] = static_cast<double>(total.size());
  Summarise(state, "latency", total);
  Summarise(state, "to_reader", toReader);
  Summarise(state, "to_host", toHost);
}
BENCHMARK(ReportToHostLatency)
    ->ArgNames({"settle_us", "timer"})
    ->Args({200, 0})
    ->Args({200, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
