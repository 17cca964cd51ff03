#include "record_run.h"

#include "fixed_format.h"
#include "host_session.h"
#include "marker_keys.h"
#include "recording.h"
#include "run_report.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <thread>

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
constexpr auto kInteractiveReadout = std::chrono::milliseconds(250);
constexpr auto kLoggedReadout = std::chrono::seconds(1);
// A board that sends nothing for this long while sampling has gone, whatever the plug-in says.
constexpr auto kSilenceLimit = std::chrono::seconds(5);
// After a lost connection the plug-in still hands over the frames it holds, then says so.
constexpr auto kDrainLimit = std::chrono::seconds(2);
// Frames waiting in the plug-in beyond this mean kymhost is not keeping up (its ring holds ~80 s).
constexpr int kBehindFrames = 500;
constexpr double kMicrosPerSecond = 1e6;
constexpr double kReadoutResolution = 0.05;  // the readout's last digit
constexpr size_t kReadoutRoom = 160;
constexpr auto kCountdownTick = std::chrono::milliseconds(50);

// Keeps "-0.0" off the readout.
double Shown(double value) { return std::fabs(value) < kReadoutResolution ? 0.0 : value; }

// The live one-line readout: rewritten in place on a terminal, a line a second otherwise.
class LiveReadout {
 public:
  explicit LiveReadout(const Recording& recording)
      : recording_(recording),
        interactive_(Interactive()),
        period_(interactive_ ? std::chrono::duration_cast<Clock::duration>(kInteractiveReadout)
                             : std::chrono::duration_cast<Clock::duration>(kLoggedReadout)),
        last_(Clock::now()) {}

  void Update(Clock::time_point now) {
    if (now - last_ < period_ || recording_.Frames() == shownFrames_) return;
    Print();
    last_ = now;
  }
  // A line of its own between readouts, such as a marker's.
  void Note(const std::string& text) {
    if (interactive_) {
      int length = static_cast<int>(text.size());
      std::fprintf(stderr, "\r%s%*s\n", text.c_str(), std::max(0, lastLength_ - length), "");
      std::fflush(stderr);
      lastLength_ = 0;
      lineOpen_ = false;
    } else {
      std::printf("%s\n", text.c_str());
      std::fflush(stdout);
    }
  }
  // Shows the latest frame, if not yet shown, and ends the line: a message may follow.
  void Finish() {
    if (recording_.Frames() != shownFrames_) Print();
    if (lineOpen_) std::fputs("\n", stderr);
    lineOpen_ = false;
    lastLength_ = 0;
  }

 private:
  void Print() {
    const FrameKg& f = recording_.Latest();
    // Fits an 80-column terminal (79 characters), so that rewriting it in place works.
    char line[kReadoutRoom];
    int length = std::snprintf(line, sizeof line,
                               "%4.1f s %5ld frames %5.1f kg TL %4.1f TR %4.1f BL %4.1f BR %4.1f CoP %+5.1f %+5.1f mm",
                               recording_.Seconds(), recording_.Frames(), Shown(f.Total()), Shown(f.channel[kTopLeft]),
                               Shown(f.channel[kTopRight]), Shown(f.channel[kBottomLeft]),
                               Shown(f.channel[kBottomRight]), Shown(f.CopXmm()), Shown(f.CopYmm()));
    length = std::max(0, std::min(length, static_cast<int>(sizeof line) - 1));
    if (interactive_) {
      // Blanks over whatever a longer line before left behind.
      std::fprintf(stderr, "\r%s%*s", line, std::max(0, lastLength_ - length), "");
      std::fflush(stderr);
      lastLength_ = length;
      lineOpen_ = true;
    } else {
      std::printf("%s\n", line);
      std::fflush(stdout);
    }
    shownFrames_ = recording_.Frames();
  }

  const Recording& recording_;
  bool interactive_;
  Clock::duration period_;
  Clock::time_point last_;
  long shownFrames_ = 0;
  int lastLength_ = 0;
  bool lineOpen_ = false;
};

// Sends a setting and says so when the board does not take it.
void Setting(HostSession& session, const char* line, const char* what) {
  if (!session.Action(line)) std::fprintf(stderr, "kymhost: the board did not accept %s\n", what);
}

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

// The stream of one run, until it ends; returns the exit code it ends with. Each marker asked
// for goes on the next frame recorded.
int Stream(PluginLibrary& plugin, int index, HostSession& session, Recording& recording, long wanted,
           MarkerKeys& keys, const std::atomic<bool>& interrupted) {
  LiveReadout readout(recording);
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
            readout.Note("Marker " + std::to_string(marker) + " at " + Fixed(recording.Seconds(), kSecondsDecimals) +
                         " s");
          }
          recording.Add(Recording::AsWritten(frame), marker);
        }
        lastData = now;
        if (!behind && plugin.ReadBuffSize(index) > kBehindFrames * kChannels) {
          behind = true;
          readout.Finish();
          std::fprintf(stderr, "kymhost: falling behind the board; frames may be lost\n");
        }
        break;
      case StreamEvent::kAbort: {
        readout.Finish();
        std::string message = session.DeviceMessage();
        std::printf("The run was stopped: %s\n", message.empty() ? event.text.c_str() : message.c_str());
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
        readout.Finish();
        std::string message = session.DeviceMessage();
        std::printf("The board was disconnected%s%s\n", message.empty() ? "." : ": ", message.c_str());
        result = kExitDisconnected;
        running = false;
        break;
      }
      case StreamEvent::kOther:
        break;
      case StreamEvent::kNothing:
        if (plugin.IsFailed(index) || now - lastData > kSilenceLimit) {
          readout.Finish();
          std::string message = session.DeviceMessage();
          std::printf("The board stopped sending data%s%s\n", message.empty() ? "." : ": ", message.c_str());
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

bool Interactive() { return isatty(fileno(stderr)) != 0; }

int RecordRun(PluginLibrary& plugin, int index, const Options& options, const std::atomic<bool>& interrupted) {
  HostSession session(plugin, index);
  int uniqueId = -1;
  plugin.GetUniqueID(index, &uniqueId);
  std::printf("Board:          %s\n", session.Query(">dev/type").c_str());
  std::printf("Serial number:  %s\n", session.Query(">dev/serialnum").c_str());
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
  if (!options.csv.empty() && !recording.OpenCsv(options.csv, options.label)) {
    std::fprintf(stderr, "kymhost: cannot write %s\n", options.csv.c_str());
    return kExitOutputFailed;
  }
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
  int result = Stream(plugin, index, session, recording, wanted, keys, interrupted);
  session.Action(">in/sampler/stop");
  if (options.countdownSeconds > 0) Bell();
  if (interrupted.load()) std::printf("Interrupted.\n");
  std::printf("Recorded %ld frames (%.2f s).\n", recording.Frames(), recording.Seconds());

  Analysis analysis;
  std::string error;  // the live options name no markers, so nothing can fail here
  AnalyseRecording(recording, options, options.label, analysis, error);
  PrintAnalysis(analysis);
  bool written = true;
  if (!options.csv.empty()) written = Reported(recording.CloseCsv(), "Frames", options.csv) && written;
  written = WriteAnalysis(analysis, options.plot, options.summary) && written;
  if (!written && result == kExitOk) result = kExitOutputFailed;
  return result;
}

}  // namespace kymhost
