#include "sim/scenario_recordings.h"

#include "sim/capture_file.h"
#include "sim/replayed_trial.h"

namespace sim {

namespace {

bool IsAbsolute(const std::string& path) {
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
  return path.size() > 1 && path[1] == ':';  // a Windows drive, C:\ or C:
}

// A file named in a scenario: relative to the scenario's folder unless its path is absolute.
std::string Resolved(const std::string& name, const std::string& folder) {
  return IsAbsolute(name) ? name : folder + name;
}

}  // namespace

const char kCaptureSetting[] = "replay-capture";

std::string FolderOf(const std::string& path) {
  size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

bool ReadCaptureSetting(WordCursor& c, SimulatedBoard& board, const std::string& folder) {
  if (!c.Accept(kCaptureSetting)) return false;
  auto capture = std::make_shared<Capture>();
  std::string error;
  if (!ReadCaptureFile(Resolved(c.Next("the capture's file").text, folder), *capture, error)) c.Fail(error);
  board.settings.capture = std::move(capture);
  return true;
}

void TakeCapturedAddress(Scenario& scenario, size_t board, int line) {
  const Capture& capture = *scenario.boards[board].settings.capture;
  if (!capture.hasAddress) return;
  for (size_t other = 0; other < scenario.boards.size(); ++other) {
    if (other != board && scenario.boards[other].bluetooth.address == capture.address)
      throw ScenarioError(line, "another board has the captured board's address; give one its own");
  }
  scenario.boards[board].bluetooth.address = capture.address;
}

std::shared_ptr<const LoadModel> ReadReplayLoad(WordCursor& c, uint64_t beginMicros, const std::string& folder,
                                                std::shared_ptr<SamplingStarts>& starts, uint64_t& rampMicros) {
  const std::string path = Resolved(c.Next("the recording's file").text, folder);
  bool withSampling = false;
  TrialEnd end = TrialEnd::kHold;
  recording::Axes axes;
  while (!c.AtEnd()) {
    if (c.Accept("with")) {
      c.Expect("sampling", "when the trial begins");
      withSampling = true;
    } else if (c.Accept("with-sampling")) {
      withSampling = true;
    } else if (c.Accept("then") || c.NextIs("hold|loop|empty")) {
      end = c.Accept("loop") ? TrialEnd::kLoop : c.Accept("empty") ? TrialEnd::kEmpty : TrialEnd::kHold;
      if (end == TrialEnd::kHold) c.Expect("hold", "what comes after the trial (hold, loop, then empty)");
    } else if (c.Accept("axes")) {
      bool any = false;
      for (;;) {
        if (c.Accept("swap")) {
          axes.swap = true;
        } else if (c.Accept("flip-x")) {
          axes.flipX = true;
        } else if (c.Accept("flip-y")) {
          axes.flipY = true;
        } else {
          break;
        }
        any = true;
      }
      if (!any) c.Expect("swap|flip-x|flip-y", "how the recording's axes differ");
    } else if (c.Accept("over|ramp|during")) {
      rampMicros = c.Micros("how long the change takes");
    } else {
      c.Fail("unexpected '" + c.Next("").text + "' (a replay takes with sampling, hold, loop, then empty, axes, over)");
    }
  }
  recording::Trial trial;
  std::string error;
  if (!recording::ReadTrial(path, axes, trial, error)) c.Fail(error);
  if (withSampling && !starts) starts = std::make_shared<SamplingStarts>();
  return std::make_shared<ReplayedTrial>(trial, end, beginMicros, withSampling ? starts : nullptr);
}

}  // namespace sim
