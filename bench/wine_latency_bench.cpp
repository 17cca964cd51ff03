// The real plug-in's board-to-host latency under Wine, against the bare floor of the same
// hand-overs through kernel32's events. The plug-in, loaded in this process, opens the simulated
// board behind the stand-in system libraries and streams as a recording does. Prints a JSON
// report shaped like Google Benchmark's, for scripts/bench_table.py.
#include "host/host_services.h"
#include "host/host_session.h"
#include "latency.h"
#include "host/plugin_library.h"
#include "sim/world.h"
#include "world_observation.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kDefaultFrames = 1000;  // ten seconds at the board's pace
constexpr DWORD kFirstBoard = 0;

int Fail(const std::string& why) {
  std::fprintf(stderr, "wine_latency_bench: %s\n", why.c_str());
  return 1;
}

// CloseAll on every way out, as a host lets go of its instruments before it unloads the plug-in.
struct ClosingAll {
  PluginLibrary& plugin;
  ~ClosingAll() { plugin.CloseAll(); }
};

// The world measured in: one board, paired already, reporting at the floor's pace exactly, so
// that each report carries one frame to the host.
std::string LatencyScenario() {
  return "radio\nboard paired yes\n  report-interval " + std::to_string(bench::kReportGapMs) +
         " ms\n  jitter 0 ms\n  load still 70 kg\n";
}

// The scenario in a file of its own, named for the world, which reads it when the plug-in first
// asks for a radio. This C runtime's environment is the one the world's DLL reads.
class ScenarioFile {
 public:
  ScenarioFile() {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "psb", 0, path)) return;
    path_ = path;
    const std::string text = LatencyScenario();
    FILE* file = std::fopen(path, "wb");
    written_ = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) std::fclose(file);
    written_ = written_ && _putenv((std::string(sim::kScenarioVariable) + "=" + path_).c_str()) == 0;
  }
  ~ScenarioFile() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  ScenarioFile(const ScenarioFile&) = delete;
  ScenarioFile& operator=(const ScenarioFile&) = delete;
  bool written() const { return written_; }

 private:
  std::string path_;
  bool written_ = false;
};

standins::LatestDataReportCounterFunction LatestReportCounter() {
  HMODULE world = GetModuleHandleW(L"plankscale_world.dll");
  if (!world) return nullptr;
  return reinterpret_cast<standins::LatestDataReportCounterFunction>(
      reinterpret_cast<void*>(GetProcAddress(world, standins::kLatestDataReportCounterExport)));
}

void PrintReport(int frames, const std::vector<double>& floor, const std::vector<double>& path) {
  const bench::LatencyFigures bare = bench::Summarise(floor);
  const bench::LatencyFigures board = bench::Summarise(path);
  std::printf("{\"context\": {\"program\": \"wine_latency_bench\"},\n \"benchmarks\": [{\n");
  std::printf("  \"name\": \"WineBoardReportToHost\", \"reports\": %d,\n", frames);
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

  ScenarioFile scenario;
  if (!scenario.written()) return Fail("cannot write the scenario file");
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
  std::string failure;
  const std::vector<double> path = bench::MeasureReportToHost(
      frames,
      [&](char* block, int* size) { return plugin.ReadBuffer(index, block, size, bench::kHostWaitMs) != 0; },
      [&] { return latestReport(kFirstBoard); }, failure);
  if (path.empty()) return Fail(failure);

  PrintReport(frames, floor, path);
  return 0;
}
