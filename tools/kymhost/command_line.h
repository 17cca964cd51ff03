// kymhost's command line: its options, its help text and the exit codes it documents.
#pragma once

#include "recording/trial_reader.h"

#include <cmath>
#include <string>
#include <vector>

namespace kymhost {

enum ExitCode {
  kExitOk = 0,
  kExitUsage = 1,
  kExitNoBoard = 2,
  kExitPluginMissing = 3,
  kExitOpenFailed = 4,
  kExitBatteries = 5,
  kExitDisconnected = 6,
  kExitOutputFailed = 7,
  kExitInputFailed = 8,
};

struct Options {
  std::string plugin;
  double seconds = 0;  // 0: until interrupted
  std::string csv;
  std::string bdf;  // the signals and annotations as BDF+ (24-bit), EDF+ (16-bit) or XDF
  std::string edf;
  std::string xdf;
  std::string plot;
  std::string summary;    // the sway measures as JSON
  double lowpassHz = 0;  // 0: the centre of pressure is measured as recorded
  bool zero = false;
  std::string keepPaired;  // "", "on" or "off"
  bool batteryWarning = true;
  bool announce = false;  // answer the plug-in's release query with "tell me"
  std::string capture;    // every HID report to and from the board, for a problem report
  bool version = false;   // print kymhost's version and the plug-in's, and end
  bool view = false;      // serve the live view while recording
  int viewPort = 0;       // 0: any free port
  bool viewOpen = false;  // and open it in the browser

  // Several boards at once: how many, their names in the order of their serial numbers (or of
  // the presses that tell them apart), and how they stand.
  int boards = 1;
  std::vector<std::string> labels;
  bool identify = false;  // tell the boards apart by a press of each one's button
  double gapMm = 0;       // between the edges of boards side by side
  bool layoutGiven = false;

  // The trial: its name, a countdown before it, and the part of it to measure (seconds from
  // the recording's start, NaN for its start or end; or the frames of two markers).
  std::string label;
  double countdownSeconds = 0;
  double fromSeconds = std::nan("");
  double toSeconds = std::nan("");
  int fromMarker = 0;  // 0: none
  int toMarker = 0;

  // kymhost analyse FILE...: recordings measured without a board.
  bool analyse = false;
  std::vector<std::string> files;
  bool romberg = false;  // two files: eyes open, then eyes closed
  recording::Axes axes;
  double resampleHz = 0;  // 0: samples must be evenly spaced as they are
  double windowSeconds = 0;  // SWARII's window; 0: its default
  int plate = 1;             // the force plate of a Nexus export, the board of kymhost's BDF+ or XDF
  double rateHz = 0;         // of a headerless export, which does not say
  double plateDepthMm = 0;   // of a plate's origin below its surface, for moments into a centre of pressure
};

// Reads the command line into options. False when kymhost should end at once with exitCode:
// after --help, or after a mistake it has reported.
bool ParseCommandLine(int argc, char** argv, Options& options, int& exitCode);

}  // namespace kymhost
