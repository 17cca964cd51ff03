// The balance board's costs: one sensor report turned into a frame, the time from the simulated
// board's report to the host's waiting read returning its frame (against the floor of the same
// hand-overs through events alone), and an open idle board's load.
#include "board/wbalance_board.h"
#include "discovery/hid_library.h"
#include "platform/posix/control.h"
#include "sim/balance_board.h"
#include "latency.h"
#include "process_cpu.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

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
    handedOverAt.store(bench::CounterNow(), std::memory_order_release);
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

// About 70 kg, standing still.
class FixedLoad : public sim::LoadModel {
 public:
  sim::SensorLoads At(uint64_t) const override { return {20.0, 15.0, 25.0, 10.0}; }
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
// in ReadBuffer as a recording does. First the floor, in the same run: the same two hand-overs
// through events alone.
void BoardReportToHost(benchmark::State& state) {
  sim::BoardSettings settings;
  settings.reportIntervalMicros = bench::kReportGapMs * 1000;
  settings.reportJitterMicros = 0;
  SimulatedBoard rig(settings);
  rig.board->SetLoadModel(std::make_shared<FixedLoad>());
  BenchBoard& board = *rig.device;
  std::vector<double> floor, micros, toReader, toHost;
  std::string failure;
  for (auto _ : state) {
    floor = bench::MeasureEventFloor(kLatencyReports);
    if (floor.empty()) {
      state.SkipWithError("the floor missed a hand-over");
      return;
    }
    if (!board.Initialise()) {
      state.SkipWithError("the board did not open");
      return;
    }
    board.Command(">in/sampler/start\n");
    micros = bench::MeasureReportToHost(
        kLatencyReports, [&board](char* block, int* size) { return board.ReadBuffer(block, size, bench::kHostWaitMs); },
        [&rig] { return rig.board->LatestDataReportCounter(); }, failure,
        [&](int64_t sent, int64_t returned) {
          int64_t handedOver = board.handedOverAt.load(std::memory_order_acquire);
          toReader.push_back(bench::CounterMicros(handedOver - sent));
          toHost.push_back(bench::CounterMicros(returned - handedOver));
        });
    if (micros.empty()) {
      state.SkipWithError(failure.c_str());
      return;
    }
  }
  const bench::LatencyFigures path = bench::Summarise(micros);
  const bench::LatencyFigures bare = bench::Summarise(floor);
  state.counters["reports"] = static_cast<double>(micros.size());
  state.counters["median_us"] = path.median;
  state.counters["p99_us"] = path.p99;
  state.counters["max_us"] = path.max;
  state.counters["floor_median_us"] = bare.median;
  state.counters["floor_p99_us"] = bare.p99;
  state.counters["median_ratio"] = path.median / bare.median;
  state.counters["p99_ratio"] = path.p99 / bare.p99;
  state.counters["to_reader_p99_us"] = bench::Percentile(toReader, 0.99);
  state.counters["to_host_p99_us"] = bench::Percentile(toHost, 0.99);
}
BENCHMARK(BoardReportToHost)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

using bench::ProcessCpuMicros;

// An open board, not sampling, reporting at its own rate: the reader thread's share of one core,
// and the whole process's (which also runs the simulated board's timers) as an upper bound.
void IdleOpenBoard(benchmark::State& state) {
  SimulatedBoard rig{sim::BoardSettings()};
  rig.board->SetLoadModel(std::make_shared<FixedLoad>());
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
