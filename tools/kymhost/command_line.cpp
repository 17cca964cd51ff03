#include "command_line.h"

#include "plugin_library.h"
#include "recording.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kymhost {

namespace {

constexpr double kLongestRunSeconds = 1e7;  // about four months of frames still fit a counter
// A cut-off at or above half the frame rate means nothing for sampled data.
constexpr double kHighestCutoffHz = 1 / (2 * kFramePeriodSeconds);

const char kUsage[] =
    "usage: kymhost [options]\n"
    "\n"
    "Finds a Wii Balance Board, opens it and records its four load sensors at 100 frames per\n"
    "second through the PlankScale plug-in, the way the Kymora application does.\n"
    "\n"
    "options:\n"
    "  --plugin PATH          the plug-in to load (default: the one beside kymhost)\n"
    "  --seconds N            record for N seconds (default: until Ctrl-C)\n"
    "  --csv FILE             write every frame: time (s), the four corners (kg), total (kg),\n"
    "                         centre of pressure x and y (mm)\n"
    "  --plot FILE.svg        draw total weight over time and the centre-of-pressure trace\n"
    "                         with its 95 % ellipse, and the sway measures under them\n"
    "  --summary FILE.json    write the sway measures, printed at the end, as JSON too\n"
    "  --lowpass HZ           filter the centre of pressure before measuring sway (a zero-lag\n"
    "                         second-order Butterworth filter; 10 is usual; default: none)\n"
    "  --zero                 zero all channels from the first readings of the run (keep the\n"
    "                         board empty as the run starts)\n"
    "  --keep-paired on|off   keep the board paired after closing (the plug-in's default: on)\n"
    "  --no-battery-warning   do not warn about weak batteries before recording\n"
    "  --announce             let the plug-in announce a pre-release build of itself\n"
    "  --version              kymhost's version and the file version of the plug-in it loads\n"
    "  --help                 this text\n"
    "\n"
    "exit codes:\n"
    "  0  the recording ended normally: time up, Ctrl-C, or the board's button\n"
    "  1  bad command line\n"
    "  2  no board found (the plug-in's reason is printed)\n"
    "  3  the plug-in cannot be loaded\n"
    "  4  the board could not be opened\n"
    "  5  the run stopped because of weak or missing batteries\n"
    "  6  the board was disconnected or stopped sending data\n"
    "  7  an output file could not be written\n"
    "\n"
    "On Linux the plug-in runs against a simulated board; the environment variable\n"
    "PLANKSCALE_SIM names a scenario file for it (see docs/simulation.md).\n";

// A positive number no larger than highest (below it, when the bound is open).
bool ReadPositive(const char* text, double highest, bool highestAllowed, double& number) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0) return false;
  if (value > highest || (value == highest && !highestAllowed)) return false;
  number = value;
  return true;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, Options& options, int& exitCode) {
  options.plugin = PluginLibrary::DefaultPath(argc > 0 ? argv[0] : nullptr);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string shown = arg;  // what a complaint quotes
    bool ok = true;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      exitCode = kExitOk;
      return false;
    } else if (arg == "--zero") {
      options.zero = true;
    } else if (arg == "--no-battery-warning") {
      options.batteryWarning = false;
    } else if (arg == "--announce") {
      options.announce = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--plugin" || arg == "--seconds" || arg == "--csv" || arg == "--plot" ||
               arg == "--summary" || arg == "--lowpass" || arg == "--keep-paired") {
      if (i + 1 >= argc) {
        shown += " (with no value)";
        ok = false;
      } else {
        std::string value = argv[++i];
        shown += " " + value;
        if (arg == "--plugin") options.plugin = value;
        if (arg == "--seconds") ok = ReadPositive(value.c_str(), kLongestRunSeconds, true, options.seconds);
        if (arg == "--lowpass") ok = ReadPositive(value.c_str(), kHighestCutoffHz, false, options.lowpassHz);
        if (arg == "--summary") options.summary = value;
        if (arg == "--csv") options.csv = value;
        if (arg == "--plot") options.plot = value;
        if (arg == "--keep-paired") {
          options.keepPaired = value;
          ok = value == "on" || value == "off";
        }
      }
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "kymhost: bad argument '%s'\n\n%s", shown.c_str(), kUsage);
      exitCode = kExitUsage;
      return false;
    }
  }
  return true;
}

}  // namespace kymhost
