#include "command_line.h"

#include "host/plugin_library.h"
#include "host/run_listener.h"
#include "analysis/recording.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kymhost {

namespace {

constexpr double kLongestRunSeconds = 1e7;  // about four months of frames still fit a counter
// A cut-off at or above half the frame rate means nothing for sampled data.
constexpr double kHighestCutoffHz = 1 / (2 * kFramePeriodSeconds);

constexpr double kLongestCountdownSeconds = 3600;
constexpr double kWidestGapMm = 10000;
constexpr char kSideBySide[] = "side-by-side";
constexpr long kHighestPort = 65535;

const char kUsage[] =
    "usage: kymhost [options]\n"
    "       kymhost analyse [options] FILE...\n"
    "       kymhost analyse --romberg [options] OPEN.csv CLOSED.csv\n"
    "\n"
    "Finds a Wii Balance Board, opens it and records its four load sensors at 100 frames per\n"
    "second through the PlankScale plug-in, the way the Kymora application does. While it\n"
    "records, Enter or m sets a marker. 'kymhost analyse' measures recordings already made.\n"
    "\n"
    "options:\n"
    "  --plugin PATH          the plug-in to load (default: the one beside kymhost)\n"
    "  --seconds N            record for N seconds (default: until Ctrl-C)\n"
    "  --csv FILE             write every frame: time (s), the four corners (kg), total (kg),\n"
    "                         centre of pressure x and y (mm), marker\n"
    "  --bdf FILE             write the corners, total and centre of pressure as BDF+ signals\n"
    "                         (24-bit) with the markers and messages as annotations\n"
    "  --edf FILE             the same as EDF+ (16-bit)\n"
    "  --xdf FILE             write an XDF file: a stream of frames for each board, on the\n"
    "                         host's clock, and a stream of the markers and messages\n"
    "  --plot FILE.svg        draw total weight over time and the centre-of-pressure trace\n"
    "                         with its 95 % ellipse, the spectra and the sway measures\n"
    "  --summary FILE.json    write the sway measures, printed at the end, as JSON too\n"
    "  --lowpass HZ           filter the centre of pressure before measuring sway (a zero-lag\n"
    "                         second-order Butterworth filter; 10 is usual; default: none)\n"
    "  --zero                 zero all channels from the first readings of the run (keep the\n"
    "                         board empty as the run starts)\n"
    "  --keep-paired on|off   keep the board paired after closing (the plug-in's default: on)\n"
    "  --no-battery-warning   do not warn about weak batteries before recording\n"
    "  --announce             let the plug-in announce a pre-release build of itself\n"
    "  --capture FILE         have the plug-in record every report to and from the board, for\n"
    "                         reproducing a problem (the same as PLANKSCALE_CAPTURE=FILE)\n"
    "  --version              kymhost's version and the file version of the plug-in it loads\n"
    "  --label TEXT           name the trial, in the CSV (a '# label:' line) and the summary\n"
    "  --countdown N          count N seconds down before recording, with a bell at the start\n"
    "                         and at the end of the recording\n"
    "  --from TIME            measure from TIME seconds after the recording's start\n"
    "  --to TIME              measure up to TIME seconds after the recording's start\n"
    "  --boards N             record N boards at once (1 to 4), numbered by serial number\n"
    "  --labels A,B,...       name the boards, in the order of their numbers (left,right)\n"
    "  --identify             number the boards by a press of each one's button instead, in\n"
    "                         the order of the labels\n"
    "  --layout side-by-side GAP_MM  boards side by side, left to right, GAP_MM between their\n"
    "                         edges (default 0): where the centre of pressure of all lies\n"
    "  --view [PORT]          show the recording live in a browser: kymhost serves the page at\n"
    "                         http://127.0.0.1:PORT/ (PORT 0 or none: any free port) and prints\n"
    "                         it as 'View: ADDRESS'\n"
    "  --view-open            the same, and open the page in the default browser\n"
    "  --help                 this text\n"
    "\n"
    "analyse reads kymhost's CSV, BDF+, EDF+ and XDF files, any recording with a time column, a\n"
    "force or weight column and the centre of pressure in x and y, a Vicon Nexus 'Devices' CSV,\n"
    "a headerless six-column force-plate export and a --capture file (see the README), and\n"
    "prints and writes what a recording would. It takes --plot, --summary, --lowpass, --from,\n"
    "--to, --label, --layout, --bdf, --edf, --xdf (to convert) and:\n"
    "  --resample HZ          resample uneven samples at HZ with SWARII before measuring\n"
    "  --window SECONDS       SWARII's window (default 0.25)\n"
    "  --plate N              the Nth force plate of a Nexus export, or board of a kymhost file\n"
    "  --rate HZ              the sample rate of a headerless six-column export\n"
    "  --plate-depth MM       how far that plate's origin lies below its surface (default 0)\n"
    "  --from-marker N        measure from marker N\n"
    "  --to-marker N          measure up to marker N\n"
    "  --axes swap|flip-x|flip-y  the file's x runs front to back (swap), or an axis runs the\n"
    "                         other way; may be given more than once\n"
    "  --romberg              two files, eyes open and eyes closed: each measure of both, and\n"
    "                         the ratio closed / open\n"
    "\n"
    "exit codes:\n"
    "  0  the recording ended normally: time up, Ctrl-C, or the board's button\n"
    "  1  bad command line\n"
    "  2  no board found (the plug-in's reason is printed)\n"
    "  3  the plug-in cannot be loaded\n"
    "  4  the board could not be opened (--identify: no button pressed in time)\n"
    "  5  the run stopped because of weak or missing batteries\n"
    "  6  the board was disconnected or stopped sending data\n"
    "  7  an output file could not be written, or the view's port could not be had\n"
    "  8  a recording to analyse could not be read or measured\n"
    "\n"
    "On Linux the plug-in runs against a simulated board; the environment variable\n"
    "PLANKSCALE_SIM names a scenario file for it (see docs/simulation.md).\n";

// Where a number may lie; an open bound is not allowed itself.
struct Bounds {
  double lowest;
  double highest;
  bool lowestAllowed;
  bool highestAllowed;
};
constexpr Bounds kRunLength{0, kLongestRunSeconds, false, true};
constexpr Bounds kTimeIntoRun{0, kLongestRunSeconds, true, true};
constexpr Bounds kCutoff{0, kHighestCutoffHz, false, false};
constexpr Bounds kCountdown{0, kLongestCountdownSeconds, false, true};
constexpr Bounds kGap{0, kWidestGapMm, true, true};
constexpr double kHighestRateHz = 100000;  // of any force plate
constexpr double kLongestWindowSeconds = 10;
constexpr double kDeepestPlateMm = 1000;
constexpr Bounds kRate{0, kHighestRateHz, false, true};
constexpr Bounds kWindow{0, kLongestWindowSeconds, false, true};
constexpr Bounds kDepth{0, kDeepestPlateMm, true, true};
constexpr int kMostPlates = 99;

bool ReadNumber(const char* text, const Bounds& bounds, double& number) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value)) return false;
  if (value < bounds.lowest || (value == bounds.lowest && !bounds.lowestAllowed)) return false;
  if (value > bounds.highest || (value == bounds.highest && !bounds.highestAllowed)) return false;
  number = value;
  return true;
}

bool ReadWhole(const char* text, long most, int& number) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > most) return false;
  number = static_cast<int>(value);
  return true;
}

bool ReadMarker(const char* text, int& marker) { return ReadWhole(text, 1'000'000, marker); }

// Comma-separated names, none empty.
bool ReadLabels(const std::string& words, std::vector<std::string>& labels) {
  labels.clear();
  size_t at = 0;
  for (size_t comma; (comma = words.find(',', at)) != std::string::npos; at = comma + 1)
    labels.push_back(words.substr(at, comma - at));
  labels.push_back(words.substr(at));
  for (const std::string& label : labels)
    if (label.empty()) return false;
  return true;
}

// A port is all digits: anything else after --view is the next option.
bool LooksLikePort(const char* text) {
  if (*text == '\0') return false;
  for (; *text; ++text)
    if (*text < '0' || *text > '9') return false;
  return true;
}

bool ReadPort(const char* text, int& port) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > kHighestPort) return false;
  port = static_cast<int>(value);
  return true;
}

bool ReadAxes(const std::string& words, recording::Axes& axes) {
  size_t at = 0;
  for (size_t comma; (comma = words.find(',', at)) != std::string::npos; at = comma + 1)
    if (!recording::AddAxesWord(words.substr(at, comma - at), axes)) return false;
  return recording::AddAxesWord(words.substr(at), axes);
}

enum class Use { kAlways, kRecording, kAnalysing };
struct Option {
  const char* name;
  bool takesValue;
  Use use;
};
constexpr Option kOptions[] = {
    {"--plugin", true, Use::kRecording},       {"--seconds", true, Use::kRecording},
    {"--csv", true, Use::kRecording},          {"--zero", false, Use::kRecording},
    {"--keep-paired", true, Use::kRecording},  {"--no-battery-warning", false, Use::kRecording},
    {"--announce", false, Use::kRecording},    {"--countdown", true, Use::kRecording},
    {"--capture", true, Use::kRecording},      {"--from-marker", true, Use::kAnalysing},
    {"--to-marker", true, Use::kAnalysing},    {"--axes", true, Use::kAnalysing},
    {"--romberg", false, Use::kAnalysing},     {"--plot", true, Use::kAlways},
    {"--summary", true, Use::kAlways},         {"--lowpass", true, Use::kAlways},
    {"--label", true, Use::kAlways},           {"--from", true, Use::kAlways},
    {"--to", true, Use::kAlways},              {"--version", false, Use::kAlways},
    {"--boards", true, Use::kRecording},       {"--labels", true, Use::kRecording},
    {"--identify", false, Use::kRecording},    {"--layout", true, Use::kAlways},
    {"--view", false, Use::kRecording},        {"--view-open", false, Use::kRecording},
    {"--bdf", true, Use::kAlways},             {"--edf", true, Use::kAlways},
    {"--xdf", true, Use::kAlways},             {"--resample", true, Use::kAnalysing},
    {"--window", true, Use::kAnalysing},       {"--plate", true, Use::kAnalysing},
    {"--rate", true, Use::kAnalysing},         {"--plate-depth", true, Use::kAnalysing},
};

const Option* FindOption(const std::string& arg) {
  for (const Option& option : kOptions)
    if (arg == option.name) return &option;
  return nullptr;
}

// What the options say together; empty when they agree.
std::string Conflict(const Options& options) {
  if (options.analyse && options.files.empty()) return "analyse needs a FILE";
  if (options.romberg && options.files.size() != 2) return "--romberg needs two files, eyes open and eyes closed";
  if (!std::isnan(options.fromSeconds) && options.fromMarker > 0) return "--from and --from-marker together";
  if (!std::isnan(options.toSeconds) && options.toMarker > 0) return "--to and --to-marker together";
  if (options.fromSeconds >= options.toSeconds) return "--from at or after --to";
  if (options.fromMarker > 0 && options.toMarker > 0 && options.fromMarker == options.toMarker)
    return "--from-marker and --to-marker name the same marker";
  if (!options.labels.empty() && static_cast<int>(options.labels.size()) != options.boards)
    return "--labels gives " + std::to_string(options.labels.size()) + " label" +
           (options.labels.size() == 1 ? "" : "s") + " where --boards says " + std::to_string(options.boards);
  for (size_t i = 0; i < options.labels.size(); ++i)
    for (size_t j = i + 1; j < options.labels.size(); ++j)
      if (options.labels[i] == options.labels[j]) return "--labels names two boards '" + options.labels[i] + "'";
  if (options.identify && options.boards < 2) return "--identify needs two boards or more (--boards N)";
  if (options.windowSeconds > 0 && !(options.resampleHz > 0)) return "--window without --resample";
  return {};
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, Options& options, int& exitCode) {
  options.plugin = PluginLibrary::DefaultPath(argc > 0 ? argv[0] : nullptr);
  options.analyse = argc > 1 && std::string(argv[1]) == "analyse";
  for (int i = options.analyse ? 2 : 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string shown = arg;  // what a complaint quotes
    bool ok = true;
    const Option* option = FindOption(arg);
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      exitCode = kExitOk;
      return false;
    } else if (option && option->use == (options.analyse ? Use::kRecording : Use::kAnalysing)) {
      shown += options.analyse ? " (only when recording)" : " (only with analyse)";
      ok = false;
    } else if (arg == "--zero") {
      options.zero = true;
    } else if (arg == "--no-battery-warning") {
      options.batteryWarning = false;
    } else if (arg == "--announce") {
      options.announce = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--romberg") {
      options.romberg = true;
    } else if (arg == "--identify") {
      options.identify = true;
    } else if (arg == "--layout") {
      // Two values: the arrangement, of which there is one, and the gap.
      ok = i + 2 < argc && std::string(argv[i + 1]) == kSideBySide;
      if (ok) {
        shown += std::string(" ") + argv[i + 1] + " " + argv[i + 2];
        ok = ReadNumber(argv[i + 2], kGap, options.gapMm);
        options.layoutGiven = true;
        i += 2;
      } else {
        shown += " (needs side-by-side and the gap in millimetres)";
      }
    } else if (arg == "--view" || arg == "--view-open") {
      options.view = true;
      options.viewOpen = options.viewOpen || arg == "--view-open";
      if (arg == "--view" && i + 1 < argc && LooksLikePort(argv[i + 1])) {
        shown += std::string(" ") + argv[++i];
        ok = ReadPort(argv[i], options.viewPort);
      }
    } else if (option && option->takesValue) {
      if (i + 1 >= argc) {
        shown += " (with no value)";
        ok = false;
      } else {
        std::string value = argv[++i];
        shown += " " + value;
        if (arg == "--plugin") options.plugin = value;
        if (arg == "--seconds") ok = ReadNumber(value.c_str(), kRunLength, options.seconds);
        if (arg == "--lowpass") ok = ReadNumber(value.c_str(), kCutoff, options.lowpassHz);
        if (arg == "--summary") options.summary = value;
        if (arg == "--csv") options.csv = value;
        if (arg == "--plot") options.plot = value;
        if (arg == "--capture") options.capture = value;
        if (arg == "--label") options.label = value;
        if (arg == "--countdown") ok = ReadNumber(value.c_str(), kCountdown, options.countdownSeconds);
        if (arg == "--from") ok = ReadNumber(value.c_str(), kTimeIntoRun, options.fromSeconds);
        if (arg == "--to") ok = ReadNumber(value.c_str(), kRunLength, options.toSeconds);
        if (arg == "--from-marker") ok = ReadMarker(value.c_str(), options.fromMarker);
        if (arg == "--to-marker") ok = ReadMarker(value.c_str(), options.toMarker);
        if (arg == "--axes") ok = ReadAxes(value, options.axes);
        if (arg == "--boards") ok = ReadWhole(value.c_str(), kMostBoards, options.boards);
        if (arg == "--labels") ok = ReadLabels(value, options.labels);
        if (arg == "--bdf") options.bdf = value;
        if (arg == "--edf") options.edf = value;
        if (arg == "--xdf") options.xdf = value;
        if (arg == "--resample") ok = ReadNumber(value.c_str(), kRate, options.resampleHz);
        if (arg == "--window") ok = ReadNumber(value.c_str(), kWindow, options.windowSeconds);
        if (arg == "--rate") ok = ReadNumber(value.c_str(), kRate, options.rateHz);
        if (arg == "--plate-depth") ok = ReadNumber(value.c_str(), kDepth, options.plateDepthMm);
        if (arg == "--plate") ok = ReadWhole(value.c_str(), kMostPlates, options.plate);
        if (arg == "--keep-paired") {
          options.keepPaired = value;
          ok = value == "on" || value == "off";
        }
      }
    } else if (options.analyse && arg.rfind("--", 0) != 0) {
      options.files.push_back(arg);
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "kymhost: bad argument '%s'\n\n%s", shown.c_str(), kUsage);
      exitCode = kExitUsage;
      return false;
    }
  }
  std::string conflict = Conflict(options);
  if (!conflict.empty()) {
    std::fprintf(stderr, "kymhost: %s\n\n%s", conflict.c_str(), kUsage);
    exitCode = kExitUsage;
    return false;
  }
  return true;
}

}  // namespace kymhost
