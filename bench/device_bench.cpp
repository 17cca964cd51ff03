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

double Percentile(std::vector<double>& sorted, double p) {
  size_t index = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[index];
}

// One report at a time: the host waits in ReadBuffer, then the report completes the reader
// thread's pending read; measured until ReadBuffer returns with the frame.
void ReportToHostLatency(benchmark::State& state) {
  ScriptedDevice sim;
  FakeDevice device(sim.Open(), L"Board", L"1");
  device.Initialise();
  device.WriteBuffer(">in/sampler/start\n", 18, 0);
  char reply[16];
  device.ReadLine(reply, sizeof reply, 0);
  const auto report = testing_support::FrameReport({1, 2, 3, 4});
  const auto settle = std::chrono::microseconds(state.range(0));

  std::vector<double> micros;
  for (auto _ : state) {
    micros.clear();
    std::atomic<int> hostWaiting{-1};
    std::atomic<int64_t> sentAt{0};
    std::thread sender([&] {
      for (int i = 0; i < kLatencyReports; ++i) {
        while (hostWaiting.load(std::memory_order_acquire) != i) std::this_thread::yield();
        std::this_thread::sleep_for(settle);  // let the host block in its wait
        while (sim.Endpoint().PendingReadCount() == 0) std::this_thread::yield();
        sentAt.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_release);
        sim.Endpoint().Send(report);
      }
    });
    char block[64];
    for (int i = 0; i < kLatencyReports; ++i) {
      int size = sizeof block;
      hostWaiting.store(i, std::memory_order_release);
      bool got = device.ReadBuffer(block, &size, 1000);
      int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
      if (!got || size != 9) {
        state.SkipWithError("the host missed a report");
        break;
      }
      micros.push_back(static_cast<double>(now - sentAt.load(std::memory_order_acquire)) / 1000.0);
    }
    sender.join();
  }
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["reports"] = static_cast<double>(micros.size());
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["max_us"] = micros.back();
}
BENCHMARK(ReportToHostLatency)->Arg(200)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
