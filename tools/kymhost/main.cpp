// kymhost: finds, opens and records a Wii Balance Board through the plug-in's thirteen exports,
// exactly as the recording application drives it.
#include "host_services.h"
#include "host_session.h"
#include "plugin_library.h"
#include "recording.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

using namespace kymhost;

enum ExitCode {
  kExitOk = 0,
  kExitUsage = 1,
  kExitNoBoard = 2,
  kExitPluginMissing = 3,
  kExitOpenFailed = 4,
  kExitBatteries = 5,
  kExitDisconnected = 6,
  kExitOutputFailed = 7,
};

const char kUsage[] =
    "usage: kymhost [options]\n"
    "\n"
    "Finds a Wii Balance Board, opens it and records its four load sensors at 100 frames per\n"
    "second through the PlankScale plug-in, the way the recording application does.\n"
    "\n"
    "options:\n"
    "  --plugin PATH          the plug-in to load (default: the one beside kymhost)\n"
    "  --seconds N            record for N seconds (default: until Ctrl-C)\n"
    "  --csv FILE             write every frame: time, four corners, total (kg), centre of pressure (mm)\n"
    "  --plot FILE.svg        draw total weight over time and the centre-of-pressure trace\n"
    "  --zero                 zero all channels over the first second of the run\n"
    "  --keep-paired on|off   keep the board paired after closing (default: the plug-in's, on)\n"
    "  --no-battery-warning   do not warn about weak batteries\n"
    "  --announce             let the plug-in announce a pre-release build of itself\n"
    "  --help                 this text\n"
    "\n"
    "exit codes:\n"
    "  0  recording ended normally (time up, Ctrl-C, or the board's button)\n"
    "  1  bad command line\n"
    "  2  no board found (the plug-in's reason is printed)\n"
    "  3  the plug-in cannot be loaded\n"
    "  4  the board could not be opened\n"
    "  5  the run stopped because of weak or missing batteries\n"
    "  6  the board was disconnected\n"
    "  7  an output file could not be written\n"
    "\n"
    "On Linux the plug-in runs against a simulated board; PLANKSCALE_SIM names a scenario file.\n";

struct Options {
  std::string plugin;
  double seconds = 0;  // 0: until interrupted
  std::string csv;
  std::string plot;
  bool zero = false;
  std::string keepPaired;  // "", "on" or "off"
  bool batteryWarning = true;
  bool announce = false;  // answer the plug-in's release query with "tell me"
};

std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) { interrupted.store(true); }

bool ParseArguments(int argc, char** argv, Options& options, int& exitCode) {
  options.plugin = PluginLibrary::DefaultPath(argv[0]);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      exitCode = kExitOk;
      return false;
    } else if (arg == "--plugin" && value(options.plugin)) {
    } else if (arg == "--seconds" && value(text) && std::atof(text.c_str()) > 0) {
      options.seconds = std::atof(text.c_str());
    } else if (arg == "--csv" && value(options.csv)) {
    } else if (arg == "--plot" && value(options.plot)) {
    } else if (arg == "--zero") {
      options.zero = true;
    } else if (arg == "--keep-paired" && value(options.keepPaired) &&
               (options.keepPaired == "on" || options.keepPaired == "off")) {
    } else if (arg == "--no-battery-warning") {
      options.batteryWarning = false;
    } else if (arg == "--announce") {
      options.announce = true;
    } else {
      std::fprintf(stderr, "kymhost: bad argument '%s'\n\n%s", arg.c_str(), kUsage);
      exitCode = kExitUsage;
      return false;
    }
  }
  return true;
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
  return out;
}

std::string PluginMessage(PluginLibrary& plugin) {
  int size = plugin.GetLastErrorMsg(-1, nullptr);
  if (size <= 1) return {};
  std::vector<char> text(static_cast<size_t>(size) + 1, '\0');
  plugin.GetLastErrorMsg(-1, text.data());
  return text.data();
}

bool Interactive() { return isatty(fileno(stderr)) != 0; }

// FindDevice blocks while it searches and pairs; show that something is happening.
std::vector<int> FindBoards(PluginLibrary& plugin) {
  const char* what = "Searching for a Wii Balance Board \xE2\x80\x94 press the red sync button under the battery cover";
  std::atomic<bool> done{false};
  std::thread spinner;
  if (Interactive()) {
    spinner = std::thread([&] {
      const char marks[] = "|/-\\";
      for (int i = 0; !done.load(); ++i) {
        std::fprintf(stderr, "\r%c %s ", marks[i % 4], what);
        std::fflush(stderr);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
      }
      std::fprintf(stderr, "\r%*s\r", 100, "");
    });
  } else {
    std::fprintf(stderr, "%s ...\n", what);
  }
  std::vector<int> found;
  int index = -1;
  while (plugin.FindDevice(&index)) found.push_back(index);
  done.store(true);
  if (spinner.joinable()) spinner.join();
  return found;
}

void PrintReadout(const Recording& recording, bool interactive) {
  const FrameKg& f = recording.Latest();
  std::fprintf(interactive ? stderr : stdout,
               "%s%6.1f s  %7ld frames  total %6.2f kg  TL %5.1f  TR %5.1f  BL %5.1f  BR %5.1f kg  "
               "CoP x %+6.1f y %+6.1f mm%s",
               interactive ? "\r" : "", recording.Seconds(), recording.Frames(), f.Total(), f.channel[kTopLeft],
               f.channel[kTopRight], f.channel[kBottomLeft], f.channel[kBottomRight], f.CopXmm(), f.CopYmm(),
               interactive ? "  " : "\n");
  std::fflush(interactive ? stderr : stdout);
}

int Record(PluginLibrary& plugin, int index, const Options& options) {
  HostSession session(plugin, index);
  std::printf("Board:          %s\n", session.Query(">dev/type").c_str());
  std::printf("Serial number:  %s\n", session.Query(">dev/serialnum").c_str());
  std::printf("Version:        %s\n", session.Query(">dev/version").c_str());
  std::string channels = session.Query(">in/nachans");
  std::string interval = session.Query(">in/sampler/interval");
  std::printf("Channels:       %s\n", channels.c_str());
  if (!session.LoadScaling()) {
    std::fprintf(stderr, "kymhost: the board announced no usable scaling\n");
    return kExitOpenFailed;
  }
  double periodSeconds = std::atof(interval.c_str()) / 1e6;
  if (periodSeconds <= 0) periodSeconds = 0.01;
  std::printf("Scaling:        %.8f kg per unit; one frame every %.0f ms\n", session.KgPerUnit(), periodSeconds * 1000);

  if (options.keepPaired == "on") session.Action(">dev/bb_keepPaired 2");
  if (options.keepPaired == "off") session.Action(">dev/bb_keepPaired 1");
  if (!options.batteryWarning) session.Action(">dev/bb_ShowBattWarning 1");
  if (session.Query(">dev/startwarning") == "1")
    std::printf("WARNING: the board's batteries are weak or were removed. Replace them soon.\n");
  if (options.zero && session.Action(">dev/bb_zeroAllChans 2"))
    std::printf("All channels will be zeroed over the first second: keep the board unloaded.\n");

  Recording recording(periodSeconds);
  if (!options.csv.empty() && !recording.OpenCsv(options.csv)) {
    std::fprintf(stderr, "kymhost: cannot write %s\n", options.csv.c_str());
    return kExitOutputFailed;
  }

  bool interactive = Interactive();
  long wanted = options.seconds > 0 ? static_cast<long>(options.seconds / periodSeconds + 0.5) : -1;
  int result = kExitOk;
  session.Action(">in/sampler/start");
  std::printf("Recording%s. Press Ctrl-C to stop.\n", options.seconds > 0 ? "" : " until interrupted");
  auto lastReadout = std::chrono::steady_clock::now();
  const auto readoutPeriod = std::chrono::milliseconds(interactive ? 250 : 1000);
  bool running = true;
  while (running && !interrupted.load() && (wanted < 0 || recording.Frames() < wanted)) {
    StreamEvent event = session.ReadStream(100);
    switch (event.kind) {
      case StreamEvent::kFrames:
        for (const FrameKg& frame : event.frames) {
          if (wanted >= 0 && recording.Frames() >= wanted) break;
          recording.Add(frame);
        }
        break;
      case StreamEvent::kAbort: {
        std::string message = session.DeviceMessage();
        if (interactive) std::fputs("\n", stderr);
        std::printf("The run was stopped: %s\n", message.empty() ? event.text.c_str() : message.c_str());
        if (event.text.find("batteries") != std::string::npos) result = kExitBatteries;
        if (event.text.find("timed out") != std::string::npos) result = kExitDisconnected;
        running = false;
        break;
      }
      case StreamEvent::kDisconnected: {
        std::string message = session.DeviceMessage();
        if (interactive) std::fputs("\n", stderr);
        std::printf("The board was disconnected%s%s\n", message.empty() ? "." : ": ", message.c_str());
        result = kExitDisconnected;
        running = false;
        break;
      }
      case StreamEvent::kOther:
      case StreamEvent::kNothing:
        if (plugin.IsFailed(index)) running = false;
        break;
    }
    auto now = std::chrono::steady_clock::now();
    if (now - lastReadout >= readoutPeriod && recording.Frames() > 0) {
      PrintReadout(recording, interactive);
      lastReadout = now;
    }
  }
  if (interactive) std::fputs("\n", stderr);
  session.Action(">in/sampler/stop");
  if (interrupted.load()) std::printf("Interrupted.\n");
  std::printf("Recorded %ld frames (%.2f s).\n", recording.Frames(), recording.Seconds());
  if (!options.plot.empty()) {
    if (WritePlot(options.plot, recording.Trace())) {
      std::printf("Plot written to %s\n", options.plot.c_str());
    } else {
      std::fprintf(stderr, "kymhost: cannot write %s\n", options.plot.c_str());
      if (result == kExitOk) result = kExitOutputFailed;
    }
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int exitCode = kExitOk;
  if (!ParseArguments(argc, argv, options, exitCode)) return exitCode;

  // Offered before the plug-in loads and withdrawn after it is gone (destruction order).
  HostServicesRegistration hostServices(options.announce);
  if (FAILED(hostServices.result()))
    std::fprintf(stderr, "kymhost: cannot offer the host services (0x%08lX)\n",
                 static_cast<unsigned long>(hostServices.result()));
  PluginLibrary plugin;
  if (!plugin.Load(options.plugin)) {
    std::fprintf(stderr, "kymhost: %s\n", plugin.error().c_str());
    return kExitPluginMissing;
  }
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  DeviceClassInfo info{};
  plugin.GetDeviceClassInfo(&info);
  std::printf("PlankScale plug-in for %s (%s)\n", Narrow(info.deviceName).c_str(), Narrow(info.className).c_str());

  std::vector<int> boards = FindBoards(plugin);
  if (boards.empty()) {
    std::printf("No board found: %s\n", PluginMessage(plugin).c_str());
    plugin.CloseAll();
    return kExitNoBoard;
  }
  int index = boards.front();
  std::printf("Found %zu board%s; using index %d.\n", boards.size(), boards.size() == 1 ? "" : "s", index);

  if (!plugin.Initialise(index)) {
    HostSession session(plugin, index);
    std::string message = session.DeviceMessage();
    std::printf("The board could not be opened: %s\n", message.c_str());
    plugin.CloseAll();
    return kExitOpenFailed;
  }
  int result = Record(plugin, index, options);
  plugin.CloseAll();
  return result;
}
