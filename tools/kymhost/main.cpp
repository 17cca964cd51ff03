// kymhost: finds, opens and records a Wii Balance Board through the plug-in's thirteen exports,
// as the recording application drives it.
#include "analysis/analyse.h"
#include "command_line.h"
#include "host/board_session.h"
#include "host/host_services.h"
#include "host/host_session.h"
#include "host/live_readout.h"
#include "host/plugin_library.h"
#include "host/record_run.h"
#include "host/run_watcher.h"
#include "host/version_report.h"
#include "view/live_view.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

using namespace kymhost;

constexpr auto kSpinnerStep = std::chrono::milliseconds(120);
// Short enough for an 80-column terminal, so that the spinner turns in place.
const char kSearching[] = "Searching for a board (press the red sync button under its battery cover)";

static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) { interrupted.store(true); }

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

// FindDevice blocks while it searches and pairs; show that something is happening. Returns
// every board the plug-in hands out, up to wanted.
std::vector<int> FindBoards(PluginLibrary& plugin, int wanted) {
  std::atomic<bool> done{false};
  std::thread spinner;
  if (Interactive()) {
    spinner = std::thread([&] {
      const char marks[] = "|/-\\";
      for (int i = 0; !done.load(); ++i) {
        std::fprintf(stderr, "\r%c %s ", marks[i % 4], kSearching);
        std::fflush(stderr);
        std::this_thread::sleep_for(kSpinnerStep);
      }
      std::fprintf(stderr, "\r%*s\r", static_cast<int>(sizeof kSearching) + 2, "");
    });
  } else {
    std::fprintf(stderr, "%s ...\n", kSearching);
  }
  std::vector<int> found;
  int index = -1;
  if (wanted == 1) {
    while (!interrupted.load() && plugin.FindDevice(&index)) found.push_back(index);
  } else {
    // A search that handed out a board ends with the next call; a search after it may find
    // another. Two calls in a row without a board: there is none.
    for (int misses = 0; misses < 2 && static_cast<int>(found.size()) < wanted && !interrupted.load();) {
      if (plugin.FindDevice(&index)) {
        found.push_back(index);
        misses = 0;
      } else {
        misses += found.empty() ? 2 : 1;
      }
    }
  }
  done.store(true);
  if (spinner.joinable()) spinner.join();
  return found;
}

// The plug-in records a board's reports where its environment says, from the board's open on:
// made here first, so that a file that cannot be written is said before anything is recorded.
bool AskPluginForCapture(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::fclose(file);
#ifdef _WIN32
  return SetEnvironmentVariableA("PLANKSCALE_CAPTURE", path.c_str()) != FALSE;
#else
  return setenv("PLANKSCALE_CAPTURE", path.c_str(), 1) == 0;
#endif
}

// CloseAll on every way out, as the application does when it lets go of its instruments. The
// plug-in writes the last of a capture as it closes the board.
class CloseAllOnExit {
 public:
  CloseAllOnExit(PluginLibrary& plugin, const std::string& capture, RunWatcher* watcher)
      : plugin_(plugin), capture_(capture), watcher_(watcher) {}
  ~CloseAllOnExit() {
    plugin_.CloseAll();
    if (boardsFound_) Say(watcher_, several_ ? "Boards closed.\n" : "Board closed.\n");
    if (boardsFound_ && !capture_.empty()) Say(watcher_, "Reports captured to %s\n", capture_.c_str());
  }
  CloseAllOnExit(const CloseAllOnExit&) = delete;
  CloseAllOnExit& operator=(const CloseAllOnExit&) = delete;
  void BoardsFound(bool several) {
    boardsFound_ = true;
    several_ = several;
  }

 private:
  PluginLibrary& plugin_;
  std::string capture_;
  RunWatcher* watcher_;
  bool boardsFound_ = false;
  bool several_ = false;
};

int Interrupted(RunWatcher* watcher) {
  Say(watcher, "Interrupted.\n");
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as on Linux: a bare LF ends a line on the console and in any file alike.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  Options options;
  int exitCode = kExitOk;
  if (!ParseCommandLine(argc, argv, options, exitCode)) return exitCode;
  if (options.analyse) return Analyse(options);

  // Offered before the plug-in loads and withdrawn after it is gone (destruction order).
  HostServicesRegistration hostServices(options.announce);
  if (FAILED(hostServices.result()))
    std::fprintf(stderr, "kymhost: cannot offer the host services (0x%08lX)\n",
                 static_cast<unsigned long>(hostServices.result()));
  if (options.version) return ReportVersions(options.plugin);
  // Before anything else is said, so that the page shows the whole session.
  std::unique_ptr<LiveView> view;
  if (options.view) {
    view = LiveView::Open(options.viewPort);
    if (!view) return kExitOutputFailed;
    if (options.viewOpen) OpenInBrowser(view->Address());
  }
  if (!options.capture.empty() && !AskPluginForCapture(options.capture)) {
    std::fprintf(stderr, "kymhost: cannot write %s\n", options.capture.c_str());
    return kExitOutputFailed;
  }
  PluginLibrary plugin;
  if (!plugin.Load(options.plugin)) {
    std::fprintf(stderr, "kymhost: %s\n", plugin.error().c_str());
    return kExitPluginMissing;
  }
  CloseAllOnExit closing(plugin, options.capture, view.get());
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  DeviceClassInfo info{};
  plugin.GetDeviceClassInfo(&info);
  Say(view.get(), "PlankScale plug-in for %s (%s)\n", Narrow(info.deviceName).c_str(), Narrow(info.className).c_str());

  if (view) view->Said(kSearching);
  std::vector<int> found = FindBoards(plugin, options.boards);
  if (!found.empty()) closing.BoardsFound(found.size() > 1 && options.boards > 1);
  if (interrupted.load()) return Interrupted(view.get());
  if (found.empty()) {
    Say(view.get(), "No board found: %s\n", PluginMessage(plugin).c_str());
    return kExitNoBoard;
  }
  BoardSession boards(plugin);
  if (options.boards == 1) {
    int index = found.front();
    Say(view.get(), "Found %d board%s; using index %d.\n", static_cast<int>(found.size()),
        found.size() == 1 ? "" : "s", index);
    if (!plugin.Initialise(index)) {
      Say(view.get(), "The board could not be opened: %s\n", HostSession(plugin, index).DeviceMessage().c_str());
      return kExitOpenFailed;
    }
    boards.Adopt(index);
  } else {
    if (static_cast<int>(found.size()) < options.boards) {
      Say(view.get(), "Found %d of the %d boards asked for: %s\n", static_cast<int>(found.size()), options.boards,
          PluginMessage(plugin).c_str());
      return kExitNoBoard;
    }
    Say(view.get(), "Found %d boards.\n", static_cast<int>(found.size()));
    if (!boards.Open(found)) return kExitOpenFailed;
  }
  boards.Number(options.labels);
  if (interrupted.load()) return Interrupted(view.get());
  if (options.identify && !boards.Identify(interrupted))
    return interrupted.load() ? Interrupted(view.get()) : kExitOpenFailed;
  return RecordRun(plugin, boards, options, interrupted, view.get());
}
