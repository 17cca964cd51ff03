// The real plug-in's board-to-host latency under Wine, against the bare floor of the same
// hand-overs through kernel32's events. The plug-in, loaded in this process, opens the simulated
// board behind the stand-in system libraries and streams as a recording does. Prints a JSON
// report shaped like Google Benchmark's, for scripts/bench_table.py.
#include "host_services.h"
#include "host_session.h"
#include "latency.h"
#include "plugin_library.h"
#include "world_observation.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kDefaultFrames = 1000;  // ten seconds at the board's pace
constexpr DWORD kFirstBoard = 0;
// The board must report at the floor's pace (bench/latency.scenario), or the two do not compare.
constexpr double kGapToleranceMicros = 1000;
constexpr double kMicrosPerMilli = 1000;

int Fail(const std::string& why) {
  std::fprintf(stderr, "wine_latency_bench: %s\n", why.c_str());
  return 1;
}

// CloseAll on every way out, as a host lets go of its instruments before it unloads the plug-in.
struct ClosingAll {
  PluginLibrary& plugin;
  ~ClosingAll() { plugin.CloseAll(); }
};

standins::LatestDataReportCounterFunction LatestReportCounter() {
  HMODULE world = GetModuleHandleW(L"plankscale_world.dll");
  if (!world) return nullptr;
  return reinterpret_cast<standins::LatestDataReportCounterFunction>(
      reinterpret_cast<void*>(GetProcAddress(world, standins::kLatestDataReportCounterExport)));
}

void PrintReport(int frames, const std::vector<double>& floor, const std::vector<double>& path, double gapMicros) {
  const bench::LatencyFigures bare = bench::Summarise(floor);
  const bench::LatencyFigures board = bench::Summarise(path);
  std::printf("{\"context\": {\"program\": \"wine_latency_bench\"},\n \"benchmarks\": [{\n");
  std::printf("  \"name\": \"WineBoardReportToHost\", \"reports\": %d, \"report_gap_us\": %.1f,\n", frames, gapMicros);
  std::printf("  \"median_us\": %.3f, \"p99_us\": %.3f, \"max_us\": %.3f,\n", board.median, board.p99, board.max);
  std::printf("  \"floor_median_us\": %.3f, \"floor_p99_us\": %.3f, \"floor_max_us\": %.3f,\n", bare.median, bare.p99,
              bare.max);
  std::printf("  \"median_ratio\": %.3f, \"p99_ratio\": %.3f\n }]}\n", board.median / bare.median,
              board.p99 / bare.p99);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : kDefaultFrames;
  if (frames <= 0) return Fail("usage: wine_latency_bench [frames]");

  // Offered before the plug-in loads and withdrawn after it is gone, as kymhost does.
  kymhost::HostServicesRegistration hostServices(false);
  PluginLibrary plugin;
  if (!plugin.Load(PluginLibrary::DefaultPath(argv[0]))) return Fail(plugin.error());
  const auto latestReport = LatestReportCounter();
  if (!latestReport)
    return Fail("the simulated world is not loaded: run beside the stand-ins, with "
                "WINEDLLOVERRIDES=bthprops.cpl,hid,setupapi=n");

  // First the floor, while no board streams.
  const std::vector<double> floor = bench::MeasureEventFloor(frames);
  if (floor.empty()) return Fail("the floor missed a hand-over");

  ClosingAll closing{plugin};
  int index = -1;
  if (!plugin.FindDevice(&index) || !plugin.Initialise(index)) return Fail("no board could be opened");
  kymhost::HostSession session(plugin, index);
  if (!session.Action(">in/sampler/start")) return Fail("sampling did not start");
  std::vector<double> gaps;
  int64_t previous = 0;
  std::string failure;
  const std::vector<double> path = bench::MeasureReportToHost(
      frames,
      [&](char* block, int* size) { return plugin.ReadBuffer(index, block, size, bench::kHostWaitMs) != 0; },
      [&] { return latestReport(kFirstBoard); }, failure,
      [&](int64_t sent, int64_t) {
        if (previous) gaps.push_back(bench::CounterMicros(sent - previous));
        previous = sent;
      });
  if (path.empty()) return Fail(failure);

  const double gap = bench::Percentile(gaps, 0.5);
  if (std::fabs(gap - bench::kReportGapMs * kMicrosPerMilli) > kGapToleranceMicros)
    return Fail("the board reports every " + std::to_string(gap) + " us, not at the floor's pace: set PLANKSCALE_SIM " +
                "to bench/latency.scenario");
  PrintReport(frames, floor, path, gap);
  return 0;
}
