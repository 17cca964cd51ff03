#include "host/record_run.h"

#include "analysis/recording.h"
#include "analysis/run_report.h"
#include "files/csv_writer.h"
#include "files/fixed_format.h"
#include "files/lab_files.h"
#include "host/host_session.h"
#include "host/live_readout.h"
#include "host/marker_keys.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <memory>
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

namespace kymhost {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadTimeoutMs = 100;  // how often the loop looks at Ctrl-C and the time
// A board that sends nothing for this long while sampling has gone, whatever the plug-in says.
constexpr auto kSilenceLimit = std::chrono::seconds(5);
// After a lost connection the plug-in still hands over the frames it holds, then says so.
constexpr auto kDrainLimit = std::chrono::seconds(2);
// Frames waiting in the plug-in beyond this mean kymhost is not keeping up (its ring holds ~80 s).
constexpr int kBehindFrames = 500;
constexpr double kMicrosPerSecond = 1e6;
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
  } else if (isatty(fileno(stdout))) {
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

// Every listener of the run, handed each row, message and the end in turn.
class Listeners {
 public:
  void Add(RunListener& listener) { listeners_.push_back(&listener); }
  bool Start(const RunStart& start) {
    for (RunListener* listener : listeners_)
      if (!listener->Start(start)) return false;
    return true;
  }
  void Frame(const FrameRow& row) {
    for (RunListener* listener : listeners_) listener->Frame(row);
  }
  void Message(double seconds, const std::string& text) {
    for (RunListener* listener : listeners_) listener->Message(seconds, text);
  }
  // Finishes every listener, even after one failed; false when any did.
  bool Finish() {
    bool finished = true;
    for (RunListener* listener : listeners_) finished = listener->Finish() && finished;
    return finished;
  }

 private:
  std::vector<RunListener*> listeners_;
};

// The run's rows: a frame kept for the measures and handed to the listeners.
class RunRows {
 public:
  RunRows(Recording& recording, Listeners& listeners, double hostStartSeconds)
      : recording_(recording), listeners_(listeners), hostStartSeconds_(hostStartSeconds) {}
  void Add(const FrameKg& frame, int marker) {
    FrameRow row;
    row.number = recording_.Frames();
    row.seconds = recording_.Seconds();
    row.hostSeconds = hostStartSeconds_ + row.seconds;
    row.board[0] = {true, CsvWriter::AsWritten(frame)};
    row.marker = marker;
    recording_.Add(row.board[0].kg, marker);
    listeners_.Frame(row);
  }

 private:
  Recording& recording_;
  Listeners& listeners_;
  double hostStartSeconds_;
};

// The plug-in's end of a run, said on a line of its own and to the listeners.
void SayEnd(LiveReadout& readout, Listeners& listeners, double seconds, const std::string& text) {
  readout.Finish();
  std::printf("%s\n", text.c_str());
  listeners.Message(seconds, text);
}

// The stream of one run, until it ends; returns the exit code it ends with. Each marker asked
// for goes on the next frame recorded.
int Stream(PluginLibrary& plugin, int index, HostSession& session, Recording& recording, LiveReadout& readout,
           Listeners& listeners, long wanted, MarkerKeys& keys, const std::atomic<bool>& interrupted) {
  // The plug-in paces its frames from the moment sampling starts, which has just passed.
  RunRows rows(recording, listeners, HostClockSeconds());
  std::deque<int> markers;
  int nextMarker = 1;
  Clock::time_point lastData = Clock::now(), drainUntil = Clock::time_point::max();
  int result = kExitOk;
  bool running = true, behind = false;
  while (running && !interrupted.load() && (wanted < 0 || recording.Frames() < wanted)) {
    StreamEvent event = session.ReadStream(kReadTimeoutMs);
    Clock::time_point now = Clock::now();
    for (int asked = keys.Take(); asked > 0; --asked) markers.push_back(nextMarker++);
    switch (event.kind) {
      case StreamEvent::kFrames:
        for (const FrameKg& frame : event.frames) {
          if (wanted >= 0 && recording.Frames() >= wanted) break;
          int marker = 0;
          if (!markers.empty()) {
            marker = markers.front();
            markers.pop_front();
            std::string note = "Marker " + std::to_string(marker) + " at " +
                               Fixed(recording.Seconds(), kSecondsDecimals) + " s";
            readout.Note(note);
            listeners.Message(recording.Seconds(), note);
          }
          rows.Add(frame, marker);
        }
        lastData = now;
        if (!behind && plugin.ReadBuffSize(index) > kBehindFrames * kChannels) {
          behind = true;
          readout.Finish();
          std::fprintf(stderr, "kymhost: falling behind the board; frames may be lost\n");
        }
        break;
      case StreamEvent::kAbort: {
        std::string message = session.DeviceMessage();
        SayEnd(readout, listeners, recording.Seconds(),
               "The run was stopped: " + (message.empty() ? event.text : message));
        if (event.reason == StreamEvent::kBatteries) result = kExitBatteries;
        if (event.reason == StreamEvent::kTimedOut) {
          // Keep the frames that arrived before the connection went.
          result = kExitDisconnected;
          drainUntil = now + kDrainLimit;
        } else {
          running = false;
        }
        break;
      }
      case StreamEvent::kDisconnected: {
        std::string message = session.DeviceMessage();
        SayEnd(readout, listeners, recording.Seconds(),
               "The board was disconnected" + (message.empty() ? std::string(".") : ": " + message));
        result = kExitDisconnected;
        running = false;
        break;
      }
      case StreamEvent::kOther:
        break;
      case StreamEvent::kNothing:
        if (plugin.IsFailed(index) || now - lastData > kSilenceLimit) {
          std::string message = session.DeviceMessage();
          SayEnd(readout, listeners, recording.Seconds(),
                 "The board stopped sending data" + (message.empty() ? std::string(".") : ": " + message));
          result = kExitDisconnected;
          running = false;
        }
        break;
    }
    if (now >= drainUntil) running = false;
    readout.Update(now);
  }
  readout.Finish();
  for (int marker : markers) std::printf("Marker %d came after the last frame and is not kept.\n", marker);
  return result;
}

}  // namespace

int RecordRun(PluginLibrary& plugin, int index, const Options& options, const std::atomic<bool>& interrupted) {
  HostSession session(plugin, index);
  int uniqueId = -1;
  plugin.GetUniqueID(index, &uniqueId);
  std::printf("Board:          %s\n", session.Query(">dev/type").c_str());
  std::string serial = session.Query(">dev/serialnum");
  std::printf("Serial number:  %s\n", serial.c_str());
  std::printf("Version:        %s\n", session.Query(">dev/version").c_str());
  std::printf("Unique ID:      %d (baud rate %d: not a serial line)\n", uniqueId, plugin.GetBaudRate());
  std::printf("Channels:       %s\n", session.Query(">in/nachans").c_str());
  if (!session.LoadScaling()) {
    std::fprintf(stderr, "kymhost: the board announced no usable scaling\n");
    return kExitOpenFailed;
  }
  double periodSeconds = std::atof(session.Query(">in/sampler/interval").c_str()) / kMicrosPerSecond;
  if (periodSeconds <= 0) periodSeconds = kFramePeriodSeconds;
  std::printf("Scaling:        %.8f kg per unit; one frame every %.0f ms\n", session.KgPerUnit(),
              periodSeconds * 1000);

  if (options.keepPaired == "on") Setting(session, ">dev/bb_keepPaired 2", "keep-paired on");
  if (options.keepPaired == "off") Setting(session, ">dev/bb_keepPaired 1", "keep-paired off");
  if (!options.batteryWarning) Setting(session, ">dev/bb_ShowBattWarning 1", "no battery warning");
  if (session.Query(">dev/startwarning") == "1")
    std::printf("WARNING: the board's batteries are weak or were removed. Replace them soon.\n");
  if (options.zero) {
    Setting(session, ">dev/bb_zeroAllChans 2", "zeroing");
    std::printf("All channels are zeroed from the first readings: keep the board empty for now.\n");
  }

  Recording recording(periodSeconds);
  LiveReadout readout;
  Listeners listeners;
  listeners.Add(readout);
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
  start.boards.push_back({"", serial});
  start.wallClock = std::time(nullptr);
  start.hostClockSeconds = HostClockSeconds();
  // Files made before the countdown, so that one that cannot be written is said at once.
  if (!listeners.Start(start)) return kExitOutputFailed;
  if (options.countdownSeconds > 0 && !Countdown(options.countdownSeconds, interrupted)) {
    std::printf("Interrupted.\n");
    return kExitOk;
  }
  MarkerKeys keys;                // before sampling: it may take a moment to set up
  plugin.FlushReadBuffer(index);  // nothing left over from the setup reaches the run
  if (!session.Action(">in/sampler/start")) {
    std::fprintf(stderr, "kymhost: the board did not start sampling\n");
    return kExitOpenFailed;
  }
  if (options.seconds > 0)
    std::printf("Recording for %g s. Press Enter or m to set a marker, Ctrl-C to stop.\n", options.seconds);
  else
    std::printf("Recording. Press Enter or m to set a marker, Ctrl-C to stop.\n");
  std::fflush(stdout);

  long wanted = options.seconds > 0 ? static_cast<long>(options.seconds / periodSeconds + 0.5) : -1;
  int result = Stream(plugin, index, session, recording, readout, listeners, wanted, keys, interrupted);
  session.Action(">in/sampler/stop");
  if (options.countdownSeconds > 0) Bell();
  if (interrupted.load()) std::printf("Interrupted.\n");
  std::printf("Recorded %ld frames (%.2f s).\n", recording.Frames(), recording.Seconds());

  Analysis analysis;
  std::string error;  // the live options name no markers, so nothing can fail here
  AnalyseRecording(recording, options, options.label, analysis, error);
  PrintAnalysis(analysis);
  bool written = listeners.Finish();
  written = WriteAnalysis(analysis, options.plot, options.summary) && written;
  if (!written && result == kExitOk) result = kExitOutputFailed;
  return result;
}

}  // namespace kymhost
