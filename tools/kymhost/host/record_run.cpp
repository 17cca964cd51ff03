#include "host/record_run.h"

#include "analysis/boards_report.h"
#include "files/csv_writer.h"
#include "files/fixed_format.h"
#include "files/lab_files.h"
#include "host/board_stream.h"
#include "host/listeners.h"
#include "host/live_readout.h"
#include "host/marker_keys.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kymhost {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kMicrosPerSecond = 1e6;
constexpr int kSpreadDecimals = 2;
constexpr auto kCountdownTick = std::chrono::milliseconds(50);

// Sends a setting and says so when the board does not take it.
void Setting(HostSession& session, const char* line, const char* what) {
  if (!session.Action(line)) std::fprintf(stderr, "kymhost: the board did not accept %s\n", what);
}

double HostClockSeconds() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// The terminal's bell, on whichever of the two outputs is a terminal.
void Bell() {
  if (Interactive()) {
    std::fputs("\a", stderr);
    std::fflush(stderr);
  } else if (OutputIsTerminal()) {
    std::fputs("\a", stdout);
    std::fflush(stdout);
  }
}

// Counts whole seconds down to the start of the recording, then rings; false when interrupted.
bool Countdown(double seconds, const std::atomic<bool>& interrupted) {
  bool interactive = Interactive();
  Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  long shown = -1;
  int width = 0;  // of the line rewritten in place
  for (Clock::time_point now = Clock::now(); now < end && !interrupted.load(); now = Clock::now()) {
    long left = static_cast<long>(std::ceil(std::chrono::duration<double>(end - now).count()));
    if (left != shown) {
      if (interactive)
        width = std::max(width, std::fprintf(stderr, "\rRecording starts in %ld s", left) - 1);
      else
        std::printf("Recording starts in %ld s\n", left);
      std::fflush(interactive ? stderr : stdout);
      shown = left;
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(kCountdownTick, end - now));
  }
  if (width > 0) std::fprintf(stderr, "\r%*s\r", width, "");
  if (interrupted.load()) return false;
  Bell();
  return true;
}

// Creates the file and lets it go: one that cannot be written is said before anything is recorded.
bool Writable(const std::string& path) {
  if (path.empty()) return true;
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file) std::fclose(file);
  if (!file) std::fprintf(stderr, "kymhost: cannot write %s\n", path.c_str());
  return file != nullptr;
}

// What one board says about itself; false when its scaling makes no sense.
bool Introduce(PluginLibrary& plugin, BoardSession& boards, int k, double& periodSeconds, RunWatcher* watcher) {
  OpenBoard& board = boards.Board(k);
  HostSession& session = *board.session;
  int uniqueId = -1;
  plugin.GetUniqueID(board.index, &uniqueId);
  std::string prefix = boards.Prefix(k);
  board.identity.type = session.Query(">dev/type");
  board.identity.version = session.Query(">dev/version");
  if (boards.Count() == 1) {
    Say(watcher, "Board:          %s\n", board.identity.type.c_str());
    Say(watcher, "Serial number:  %s\n", board.identity.serial.c_str());
    Say(watcher, "Version:        %s\n", board.identity.version.c_str());
    Say(watcher, "Unique ID:      %d (baud rate %d: not a serial line)\n", uniqueId, plugin.GetBaudRate());
    Say(watcher, "Channels:       %s\n", session.Query(">in/nachans").c_str());
  } else {
    Say(watcher, "%s%s %s, %s channels, unique ID %d\n", prefix.c_str(), board.identity.type.c_str(),
        board.identity.version.c_str(), session.Query(">in/nachans").c_str(), uniqueId);
  }
  if (!session.LoadScaling()) {
    std::fprintf(stderr, "kymhost: %sthe board announced no usable scaling\n", prefix.c_str());
    return false;
  }
  periodSeconds = std::atof(session.Query(">in/sampler/interval").c_str()) / kMicrosPerSecond;
  if (periodSeconds <= 0) periodSeconds = kFramePeriodSeconds;
  return true;
}

// The settings the options ask for, and the plug-in's warning about the batteries.
void Configure(BoardSession& boards, int k, const Options& options, RunWatcher* watcher) {
  OpenBoard& board = boards.Board(k);
  HostSession& session = *board.session;
  std::string prefix = boards.Prefix(k);
  if (options.keepPaired == "on") Setting(session, ">dev/bb_keepPaired 2", "keep-paired on");
  if (options.keepPaired == "off") Setting(session, ">dev/bb_keepPaired 1", "keep-paired off");
  if (!options.batteryWarning) Setting(session, ">dev/bb_ShowBattWarning 1", "no battery warning");
  // The board says only whether its batteries are weak, and only while the warning is on.
  bool weak = session.Query(">dev/startwarning") == "1";
  if (options.batteryWarning) board.identity.battery = weak ? BatteryState::kWeak : BatteryState::kFine;
  if (weak) Say(watcher, "WARNING: %sthe board's batteries are weak or were removed. Replace them soon.\n", prefix.c_str());
  if (options.zero) Setting(session, ">dev/bb_zeroAllChans 2", "zeroing");
}

}  // namespace

int RecordRun(PluginLibrary& plugin, BoardSession& boards, const Options& options, const std::atomic<bool>& interrupted,
              RunWatcher* watcher) {
  double periodSeconds = kFramePeriodSeconds;
  for (int k = 0; k < boards.Count(); ++k)
    if (!Introduce(plugin, boards, k, periodSeconds, watcher)) return kExitOpenFailed;
  Say(watcher, "Scaling:        %.8f kg per unit; one frame every %.0f ms\n", boards.Board(0).session->KgPerUnit(),
      periodSeconds * 1000);
  for (int k = 0; k < boards.Count(); ++k) Configure(boards, k, options, watcher);
  if (options.zero)
    Say(watcher, "All channels are zeroed from the first readings: keep the board%s empty for now.\n",
        boards.Count() > 1 ? "s" : "");

  // The files made before the countdown, so that one that cannot be written is said at once.
  for (const std::string* path : {&options.csv, &options.bdf, &options.edf, &options.xdf})
    if (!Writable(*path)) return kExitOutputFailed;
  if (options.countdownSeconds > 0 && !Countdown(options.countdownSeconds, interrupted)) {
    Say(watcher, "Interrupted.\n");
    return kExitOk;
  }
  MarkerKeys keys;  // before sampling: it may take a moment to set up
  double spreadMs = 0;
  if (!boards.StartAll(spreadMs)) return kExitOpenFailed;

  std::vector<BoardIdentity> identities = boards.Identities();
  BoardsRecording recording(periodSeconds, identities, options.gapMm);
  if (boards.Count() > 1) recording.startSpreadMs = spreadMs;
  LiveReadout readout;
  Listeners listeners;
  listeners.Add(readout);
  if (watcher) listeners.Add(*watcher);
  std::unique_ptr<CsvWriter> csv;
  if (!options.csv.empty()) {
    csv = std::make_unique<CsvWriter>(options.csv);
    listeners.Add(*csv);
  }
  std::vector<std::unique_ptr<RunListener>> files = LabFiles(options.bdf, options.edf, options.xdf);
  for (const std::unique_ptr<RunListener>& file : files) listeners.Add(*file);
  RunStart start;
  start.periodSeconds = periodSeconds;
  start.label = options.label;
  start.boards = identities;
  start.startSpreadMs = spreadMs;
  start.gapMm = options.gapMm;
  start.wallClock = std::time(nullptr);
  start.hostClockSeconds = HostClockSeconds();
  if (!listeners.Start(start)) {
    boards.StopAll();
    return kExitOutputFailed;
  }
  if (boards.Count() > 1)
    Say(watcher, "The %d boards started %s ms apart.\n", boards.Count(), Fixed(spreadMs, kSpreadDecimals).c_str());
  if (options.seconds > 0)
    Say(watcher, "Recording for %g s. Press Enter or m to set a marker, Ctrl-C to stop.\n", options.seconds);
  else
    Say(watcher, "Recording. Press Enter or m to set a marker, Ctrl-C to stop.\n");

  long wanted = options.seconds > 0 ? static_cast<long>(options.seconds / periodSeconds + 0.5) : -1;
  int result = StreamBoards({plugin, boards, recording, readout, listeners, keys, watcher, start.hostClockSeconds}, wanted,
                            interrupted);
  boards.StopAll();
  if (options.countdownSeconds > 0) Bell();
  if (interrupted.load()) Say(watcher, "Interrupted.\n");
  Say(watcher, "Recorded %ld frames (%.2f s).\n", recording.Frames(), recording.Seconds());

  BoardsAnalysis analysis;
  std::string error;  // the live options name no markers, so nothing can fail here
  AnalyseBoards(recording, options, options.label, analysis, error);
  PrintBoardsAnalysis(analysis);
  bool written = listeners.Finish();
  if (watcher) watcher->Summary(BoardsSummaryJson(analysis));
  written = WriteBoardsAnalysis(analysis, options.plot, options.summary) && written;
  if (!written && result == kExitOk) result = kExitOutputFailed;
  return result;
}

}  // namespace kymhost
