// The balance board's costs: one sensor report turned into a frame, the time from the simulated
// board's report to the host's waiting read returning its frame, and an open idle board's load.
#include "board/wbalance_board.h"
#include "discovery/hid_library.h"
#include "platform/posix/control.h"
#include "sim/balance_board.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kLatencyReports = 10000;
constexpr int kRingFlushEvery = 4096;
constexpr auto kIdleWindow = std::chrono::seconds(10);

int64_t NowNanos() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

class BenchBoard : public Kestrel::WBalanceBoard {
 public:
  using WBalanceBoard::WBalanceBoard;
  ~BenchBoard() override { StopReader(); }  // the reader calls the override below
  // The rings without the board's conversation or a reader thread.
  bool OpenRingsOnly() {
    StopReader();
    return DevOrxHID::Initialise();
  }
  void Calibrate() {
    for (auto& sensor : calibration) {
      sensor[0] = 1000;
      sensor[1] = 1850;
      sensor[2] = 2700;
    }
  }
  int64_t SamplingStart() const { return samplingStartTime.load(); }
  int64_t TicksPerSecond() const { return counterFrequency; }
  void Command(const std::string& lines) {
    WriteBuffer(lines.data(), static_cast<int>(lines.size()), 0);
    FlushReadBuffer();
  }

  // Reads the reader thread's own CPU time at its next report, when asked to.
  bool OnInputReport(const uint8_t* report, int length, int64_t timestamp) override {
    if (measureNext.exchange(false)) {
      rusage usage;
      getrusage(RUSAGE_THREAD, &usage);
      readerCpuMicros.store(usage.ru_utime.tv_sec * 1000000L + usage.ru_utime.tv_usec + usage.ru_stime.tv_sec * 1000000L +
                            usage.ru_stime.tv_usec);
      measured.store(true);
    }
    handedOverAt.store(NowNanos(), std::memory_order_release);
    return WBalanceBoard::OnInputReport(report, length, timestamp);
  }
  std::atomic<int64_t> handedOverAt{0};
  std::atomic<bool> measureNext{false};
  std::atomic<bool> measured{false};
  std::atomic<long> readerCpuMicros{0};
};

// A report while sampling with zeroing applied: convert, pace, zero and append one frame.
void SensorReportToFrame(benchmark::State& state) {
  BenchBoard board(nullptr, L"Nintendo RVL-WBC-01", L"1");
  board.OpenRingsOnly();
  board.Calibrate();
  board.Command(">dev/bb_zeroAllChans 2\n>in/sampler/start\n");
  const int64_t period = board.TicksPerSecond() / 100;
  int64_t now = board.SamplingStart();
  const uint8_t report[22] = {0x32, 0x00, 0x00, 0x07, 0x3A, 0x03, 0xE8, 0x0A, 0x8C, 0x06, 0x40};
  for (int i = 0; i < 100; ++i) board.OnInputReport(report, 22, now += period);  // zero offsets ready
  board.FlushReadBuffer();
  int sinceFlush = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(board.OnInputReport(report, 22, now += period));
    if (++sinceFlush == kRingFlushEvery) {
      sinceFlush = 0;
      board.FlushReadBuffer();
    }
  }
  if (board.ReadBuffSize() != 4 * sinceFlush) state.SkipWithError("not one frame per report");
}
BENCHMARK(SensorReportToFrame)->Repetitions(10)->ReportAggregatesOnly(true);

// Notes when the simulated board builds each data report (it sends it at once).
class StampedLoad : public sim::LoadModel {
 public:
  sim::SensorLoads At(uint64_t) const override {
    builtAt.store(NowNanos(), std::memory_order_release);
    return {20.0, 15.0, 25.0, 10.0};
  }
  mutable std::atomic<int64_t> builtAt{0};
};

// A simulated board on its device path, opened as the device search opens it.
struct SimulatedBoard {
  explicit SimulatedBoard(const sim::BoardSettings& settings)
      : board(sim::BalanceBoard::Create(settings)), path(sim::BalanceBoard::DevicePathFor(settings.serialNumber)) {
    HidDllTable::Instance().Acquire();
    sim::RegisterHidDevice(path, board);
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    device = std::make_unique<BenchBoard>(handle, L"Nintendo RVL-WBC-01", settings.serialNumber.c_str());
  }
  ~SimulatedBoard() {
    device.reset();
    sim::UnregisterHidDevice(path);
  }
  std::shared_ptr<sim::BalanceBoard> board;
  std::wstring path;
  std::unique_ptr<BenchBoard> device;
};

// Real time: the board reports every 10 ms, so each report carries one frame; the host waits
// in ReadBuffer as a recording does.
void BoardReportToHost(benchmark::State& state) {
  sim::BoardSettings settings;
  settings.reportIntervalMicros = 10'000;
  settings.reportJitterMicros = 0;
  SimulatedBoard rig(settings);
  auto load = std::make_shared<StampedLoad>();
  rig.board->SetLoadModel(load);
  BenchBoard& board = *rig.device;
  if (!board.Initialise()) {
    state.SkipWithError("the board did not open");
    return;
  }
  board.Command(">in/sampler/start\n");
  std::vector<double> micros, toReader, toHost;
  char block[1 + 8 * 64];
  for (auto _ : state) {
    while (static_cast<int>(micros.size()) < kLatencyReports) {
      int size = sizeof block;
      if (!board.ReadBuffer(block, &size, 1000)) {
        state.SkipWithError("no report within a second");
        return;
      }
      int64_t returned = NowNanos();
      if (size < 9 || block[0] != '@') continue;
      int64_t built = load->builtAt.load(std::memory_order_acquire);
      int64_t handedOver = board.handedOverAt.load(std::memory_order_acquire);
      micros.push_back(static_cast<double>(returned - built) / 1000.0);
      toReader.push_back(static_cast<double>(handedOver - built) / 1000.0);
      toHost.push_back(static_cast<double>(returned - handedOver) / 1000.0);
    }
  }
  state.counters["reports"] = static_cast<double>(micros.size());
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["max_us"] = Percentile(micros, 1.0);
  state.counters["to_reader_p99_us"] = Percentile(toReader, 0.99);
  state.counters["to_host_p99_us"] = Percentile(toHost, 0.99);
}
BENCHMARK(BoardReportToHost)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

long ProcessCpuMicros() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec * 1000000L + usage.ru_utime.tv_usec + usage.ru_stime.tv_sec * 1000000L +
         usage.ru_stime.tv_usec;
}

// An open board, not sampling, reporting at its own rate: the reader thread's share of one core,
// and the whole process's (which also runs the simulated board's timers) as an upper bound.
void IdleOpenBoard(benchmark::State& state) {
  SimulatedBoard rig{sim::BoardSettings()};
  rig.board->SetLoadModel(std::make_shared<StampedLoad>());
  BenchBoard& board = *rig.device;
  if (!board.Initialise()) {
    state.SkipWithError("the board did not open");
    return;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  auto readerCpuNow = [&board] {
    board.measured.store(false);
    board.measureNext.store(true);
    while (!board.measured.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return board.readerCpuMicros.load();
  };
  for (auto _ : state) {
    long readerBefore = readerCpuNow();
    long processBefore = ProcessCpuMicros();
    auto wallBefore = std::chrono::steady_clock::now();
    int reportsBefore = rig.board->DataReportsSent();
    std::this_thread::sleep_for(kIdleWindow);
    long readerAfter = readerCpuNow();
    long processAfter = ProcessCpuMicros();
    double wall = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wallBefore).count();
    state.counters["reports"] = rig.board->DataReportsSent() - reportsBefore;
    state.counters["reader_cpu_pct"] = 100.0 * static_cast<double>(readerAfter - readerBefore) / wall;
    state.counters["process_cpu_pct"] = 100.0 * static_cast<double>(processAfter - processBefore) / wall;
  }
}
BENCHMARK(IdleOpenBoard)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
