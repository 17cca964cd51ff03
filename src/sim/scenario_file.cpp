#include "sim/scenario_file.h"

#include "sim/board_protocol.h"
#include "sim/load_timeline.h"
#include "sim/scenario_reality.h"
#include "sim/scenario_recordings.h"
#include "sim/scenario_words.h"
#include "sim/weight_shift.h"
#include "recording/text_file.h"

namespace sim {

namespace {

constexpr uint64_t kButtonPressMicros = 200'000;  // a quick press, seen by several reports
constexpr uint64_t kStepMicros = 500'000;         // stepping on or off takes about this long
constexpr uint64_t kShortestReportInterval = 1'000;
constexpr uint64_t kLongestReportInterval = 1'000'000;
constexpr double kHeaviestKg = 300.0;  // four sensors at the plug-in's 75 kg each
constexpr long kMostShiftPercent = 50;  // from an even stance, all the weight on one foot
constexpr uint8_t kLowBatteryLevel = protocol::kBatteryLowBelow / 2;
constexpr double kCalibrationKg[kCalibrationPoints] = {0.0, kCalibrationTopKilograms / 2, kCalibrationTopKilograms};
constexpr char kBoardProperties[] =
    "name|paired|power|report-interval|interval|jitter|battery|seed|reply|cancel-delay|write-delay|replay-capture";
// What a board that replays a capture cannot have: its reports come from the capture.
constexpr char kBoardModelWords[] = "report-interval|interval|jitter|battery|seed|reply|noise|zero-offset";
constexpr uint64_t kLongestDriverDelay = 60'000'000;
// The output reports whose replies a scenario can disturb, by the names it gives them.
constexpr struct {
  const char* names;
  uint8_t id;
} kRequests[] = {{"leds|led", protocol::kLeds},
                 {"mode", protocol::kMode},
                 {"status", protocol::kStatusRequest},
                 {"write", protocol::kWriteMemory},
                 {"read", protocol::kReadMemory}};
constexpr long kLargestErrorCode = 0x0F;  // the low nibble of a memory reply's size byte
constexpr uint8_t kButtonReport = 0x30;
constexpr uint8_t kSensorReport = 0x32;

class ScenarioReader {
 public:
  explicit ScenarioReader(const std::string& source) : folder_(FolderOf(source)) {}
  void Read(const ScenarioLine& line);
  Scenario Finish();

 private:
  struct BoardExtras {
    std::shared_ptr<LoadTimeline> load = std::make_shared<LoadTimeline>();
    int jitterLine = 0;
    bool addressGiven = false;
    int captureLine = 0;
    int modelLine = 0;  // the first line of the board's own model: a load, a calibration, a report setting
    std::string modelWord;
  };

  void Radio(WordCursor& c);
  void Board(WordCursor& c);
  void Property(WordCursor& c);
  void Calibration(WordCursor& c);
  void Reply(WordCursor& c, SimulatedBoard& board);
  void Load(WordCursor& c, uint64_t at);
  void At(WordCursor& c);
  void Event(uint64_t at, ScenarioEvent::Kind kind, uint64_t micros = 0);
  uint64_t DriverDelay(WordCursor& c, const char* what, bool mayBeNever);
  SimulatedBoard& Current(const WordCursor& c, const char* what);
  void NoteModelWord(const WordCursor& c, const std::string& word);
  void CheckCapturedBoard(size_t index);

  std::string folder_;  // of the scenario file: where the files it names are
  Scenario scenario_;
  std::vector<BoardExtras> extras_;
};

void ScenarioReader::Read(const ScenarioLine& line) {
  WordCursor c(line);
  if (c.Accept("radio")) {
    Radio(c);
  } else if (c.Accept("board")) {
    Board(c);
  } else if (c.Accept("calibration")) {
    Calibration(c);
  } else if (c.Accept("load")) {
    Load(c, 0);
  } else if (c.Accept("at")) {
    At(c);
  } else if (c.NextIs(kBoardProperties) || c.NextIs(kRealBoardSettings)) {
    while (!c.AtEnd()) Property(c);
  } else {
    c.Fail("'" + c.Next("").text + "' is not a scenario line (radio, board, a board's " +
           "name/paired/power/report-interval/jitter/battery/seed/reply/cancel-delay/write-delay/replay-capture/"
           "calibration/" +
           kRealBoardSettings + ", load, at)");
  }
}

void ScenarioReader::Radio(WordCursor& c) {
  SimulatedRadio radio;
  radio.address = kDefaultRadioAddress + scenario_.radios.size();
  if (!c.AtEnd() && !c.NextIs("name")) radio.address = c.Address("the radio's address");
  if (c.Accept("name")) radio.name = WidenUtf8(c.Text("the radio's name"));
  c.ExpectEnd();
  for (const auto& other : scenario_.radios) {
    if (other.address == radio.address) c.Fail("a radio with this address is already there");
  }
  scenario_.radios.push_back(radio);
}

void ScenarioReader::Board(WordCursor& c) {
  SimulatedBoard board;
  board.bluetooth.address = kDefaultBoardAddress + scenario_.boards.size();
  bool addressGiven = !c.AtEnd() && !c.NextIs(kBoardProperties) && !c.NextIs(kRealBoardSettings);
  if (addressGiven) board.bluetooth.address = c.Address("the board's address");
  for (const auto& other : scenario_.boards) {
    if (other.bluetooth.address == board.bluetooth.address)
      c.Fail("a board with this address is already there; give each board its own address");
  }
  scenario_.boards.push_back(board);
  extras_.emplace_back();
  extras_.back().addressGiven = addressGiven;
  while (!c.AtEnd()) Property(c);
}

SimulatedBoard& ScenarioReader::Current(const WordCursor& c, const char* what) {
  if (scenario_.boards.empty()) c.Fail(std::string(what) + " belongs to a board: put a 'board' line above it");
  return scenario_.boards.back();
}

void ScenarioReader::NoteModelWord(const WordCursor& c, const std::string& word) {
  if (extras_.back().modelLine > 0) return;
  extras_.back().modelLine = c.line();
  extras_.back().modelWord = word;
}

void ScenarioReader::Property(WordCursor& c) {
  SimulatedBoard& board = Current(c, "this setting");
  if (c.NextIs(kBoardModelWords)) NoteModelWord(c, c.Peek());
  if (c.Accept("name")) {
    board.bluetooth.name = WidenUtf8(c.Text("the board's name"));
  } else if (c.Accept("paired")) {
    board.bluetooth.SetPaired(c.YesNo("paired"));
  } else if (c.Accept("power")) {
    board.bluetooth.inRange = c.YesNo("the power");
  } else if (c.Accept("report-interval|interval")) {
    uint64_t interval = c.Micros("the report interval");
    if (interval < kShortestReportInterval || interval > kLongestReportInterval)
      c.Fail("the report interval must lie between 1 ms and 1 s (a real board: about 16.7 ms)");
    board.settings.reportIntervalMicros = interval;
    // A real board's reports come unevenly, as its Bluetooth link delivers them.
    if (c.Accept("uneven|unevenly|irregular")) board.settings.unevenReports = true;
  } else if (c.Accept("jitter")) {
    board.settings.reportJitterMicros = c.Micros("the jitter");
    extras_.back().jitterLine = c.line();
  } else if (c.Accept("battery")) {
    if (c.Accept("full")) {
      board.settings.batteryLevel = kBatteryFull;
    } else if (c.Accept("low")) {
      board.settings.batteryLevel = kLowBatteryLevel;
    } else {
      board.settings.batteryLevel = static_cast<uint8_t>(c.Integer("the battery level", 0, 0xFF));
    }
  } else if (c.Accept("seed")) {
    board.settings.randomSeed = static_cast<uint32_t>(c.Integer("the seed", 0, 0x7FFFFFFF));
  } else if (c.Accept("reply")) {
    Reply(c, board);
  } else if (c.Accept("cancel-delay")) {
    board.settings.cancelDelayMicros = DriverDelay(c, "the cancel delay", true);
  } else if (c.Accept("write-delay")) {
    board.settings.writeDelayMicros = DriverDelay(c, "the write delay", false);
  } else if (c.NextIs(kCaptureSetting)) {
    extras_.back().captureLine = c.line();
    ReadCaptureSetting(c, board, folder_);
  } else if (!ReadRealBoardSetting(c, board)) {
    c.Fail("'" + c.Next("").text + "' is not a board setting (" + kBoardProperties + "|" + kRealBoardSettings + ")");
  }
}

// reply REQUEST extra-report [button|data|status] | late TIME | error CODE | ack-error CODE: what
// happens to the next reply to that request; several lines for one request apply to its replies
// in order.
void ScenarioReader::Reply(WordCursor& c, SimulatedBoard& board) {
  uint8_t request = 0;
  for (const auto& r : kRequests) {
    if (c.Accept(r.names)) request = r.id;
  }
  if (request == 0) c.Expect("leds|mode|status|write|read", "a request whose reply is disturbed");
  ReplyFault fault;
  if (c.Accept("extra-report|extra")) {
    if (c.Accept("status")) {
      fault = ReplyFault::StatusFirst();
    } else {
      fault = ReplyFault::DataReportsFirst(1, c.Accept("data") ? kSensorReport : kButtonReport);
      if (fault.dataReportId == kButtonReport) c.Accept("button");
    }
  } else if (c.Accept("late")) {
    fault = ReplyFault::Late(c.Micros("how late the reply comes"));
  } else if (c.Accept("error")) {
    if (request != protocol::kReadMemory) c.Fail("only a memory read's reply carries an error (reply read error 7)");
    fault = ReplyFault::ReadError(static_cast<uint8_t>(c.Integer("the error code (7, 8 or 4)", 1, kLargestErrorCode)));
  } else if (c.Accept("ack-error")) {
    fault = ReplyFault::AckError(static_cast<uint8_t>(c.Integer("the acknowledgement's error code", 1, 0xFF)));
  } else {
    c.Expect("extra-report|late|error|ack-error", "what happens to the reply");
  }
  board.settings.faults.emplace_back(request, fault);
}

void ScenarioReader::Calibration(WordCursor& c) {
  SimulatedBoard& board = Current(c, "a calibration");
  NoteModelWord(c, "calibration");
  double kg = c.Kilograms("the calibration point (0 kg, 17 kg or 34 kg)");
  int point = -1;
  for (int p = 0; p < kCalibrationPoints; ++p) {
    if (kg == kCalibrationKg[p]) point = p;
  }
  if (point < 0) c.Fail("a calibration point is 0 kg, 17 kg or 34 kg");
  for (size_t s = 0; s < kSensorCount; ++s) {
    board.settings.calibration.readings[static_cast<size_t>(point)][s] =
        static_cast<uint16_t>(c.Integer("a sensor's raw reading (four of them)", 0, kLargestRawReading));
  }
  c.ExpectEnd();
}

void ScenarioReader::Load(WordCursor& c, uint64_t at) {
  SimulatedBoard& board = Current(c, "a load");
  NoteModelWord(c, "load");
  std::shared_ptr<const LoadModel> model;
  uint64_t ramp = 0;
  if (c.Accept("replay")) {
    model = ReadReplayLoad(c, at, folder_, board.settings.samplingStarts, ramp);
    extras_.back().load->Add(at, model, ramp);
    return;
  }
  double kg = 0, left = 50, right = 50;
  WeightShift shift;
  bool shifting = false;
  double amplitude = kDefaultSwayMillimetres;
  uint64_t period = static_cast<uint64_t>(kDefaultSwayPeriodSeconds * 1e6);
  bool sway = false, person = false;
  if (c.Accept("still|stand|standing|steady")) {
    person = true;
  } else if (c.Accept("sway|swaying")) {
    person = sway = true;
  } else if (c.Accept("step-on")) {
    person = true;
    ramp = kStepMicros;
  } else if (c.Accept("step-off")) {
    ramp = kStepMicros;
  } else if (c.Accept("step")) {  // "step on", "step off"
    person = c.Accept("on");
    if (!person) c.Expect("off", "a step (on or off)");
    ramp = kStepMicros;
  } else if (!c.Accept("empty|nothing|none")) {
    c.Expect("still|sway|step-on|step-off|empty|replay", "a load");
  }
  if (person) {
    kg = c.Kilograms("the weight");
    if (kg > kHeaviestKg) c.Fail("a board carries at most 300 kg");
  }
  while (!c.AtEnd()) {
    if (person && c.Accept("split")) {
      c.Split(left, right);
    } else if (sway && c.Accept("amplitude|sway")) {
      amplitude = c.Millimetres("the sway's amplitude");
    } else if (sway && c.Accept("period")) {
      period = c.Micros("the sway's period");
      if (period == 0) c.Fail("the sway's period must be longer than 0 s");
    } else if (person && c.Accept("shift")) {
      shifting = true;
      shift.shiftPercent = static_cast<double>(c.Integer("the share of the weight shifted, in percent", 0, kMostShiftPercent));
      c.Expect("every", "how often the weight goes from one side to the other and back (every TIME)");
      uint64_t every = c.Micros("the shift's period");
      if (every == 0) c.Fail("the shift's period must be longer than 0 s");
      shift.shiftPeriodSeconds = static_cast<double>(every) / 1e6;
    } else if (person && c.Accept("foot")) {
      shifting = true;
      shift.feet = Feet::kLeft;
      if (!c.Accept("left")) {
        c.Expect("right", "which foot stands on the board (left or right)");
        shift.feet = Feet::kRight;
      }
    } else if (c.Accept("over|ramp|during")) {
      ramp = c.Micros("how long the change takes");
    } else {
      c.Fail("unexpected '" + c.Next("").text + "' (a load takes split, amplitude, period, shift, foot, over)");
    }
  }
  double centre = CentreForSplit(left, right);
  if (shifting) {
    shift.kilograms = kg;
    shift.leftPercent = left;
    shift.rightPercent = right;
    shift.swayMillimetres = sway ? amplitude : 0;
    shift.swayPeriodSeconds = static_cast<double>(period) / 1e6;
    model = std::make_shared<ShiftingPerson>(shift);
  } else if (sway) {
    model = std::make_shared<SwayingPerson>(kg, amplitude, static_cast<double>(period) / 1e6, centre);
  } else if (person) {
    model = std::make_shared<FixedLoad>(Distribute(kg, centre, 0.0));
  } else {
    model = std::make_shared<EmptyLoad>();
  }
  extras_.back().load->Add(at, model, ramp);
}

// cancel-delay TIME|never, write-delay TIME: how slow the driver behind the board's HID device is.
uint64_t ScenarioReader::DriverDelay(WordCursor& c, const char* what, bool mayBeNever) {
  if (mayBeNever && c.Accept("never")) return kNeverCancelled;
  uint64_t delay = c.Micros(what);
  if (delay > kLongestDriverDelay) c.Fail(std::string(what) + " must lie between 0 and 60 s" + (mayBeNever ? ", or be never" : ""));
  return delay;
}

void ScenarioReader::Event(uint64_t at, ScenarioEvent::Kind kind, uint64_t micros) {
  ScenarioEvent event;
  event.atMicros = at;
  event.board = scenario_.boards.size() - 1;
  event.kind = kind;
  event.micros = micros;
  scenario_.events.push_back(event);
}

void ScenarioReader::At(WordCursor& c) {
  uint64_t at = c.Micros("the time");
  if (c.Accept("load")) {
    Load(c, at);
    return;
  }
  Current(c, "an event");
  if (c.NextIs("button|batteries|battery|status")) NoteModelWord(c, c.Peek());
  using Kind = ScenarioEvent::Kind;
  if (c.Accept("button")) {
    if (c.Accept("press|pressed|click")) {
      uint64_t hold = kButtonPressMicros;
      if (c.Accept("for")) hold = c.Micros("how long the button is held");
      Event(at, Kind::kButtonDown);
      Event(at + hold, Kind::kButtonUp);
    } else if (c.Accept("down|hold|held")) {
      Event(at, Kind::kButtonDown);
    } else if (c.Accept("up|release|released")) {
      Event(at, Kind::kButtonUp);
    } else {
      c.Expect("press|down|up", "a button action");
    }
  } else if (c.Accept("batteries|battery")) {
    if (c.Accept("fail|failing|flat|dead|removed")) {
      Event(at, Kind::kBatteriesFail);
    } else if (c.Accept("ok|good|replaced|restored")) {
      Event(at, Kind::kBatteriesRestored);
    } else {
      c.Expect("fail|ok", "what the batteries do");
    }
  } else if (c.Accept("power|switch|switched")) {
    Event(at, c.YesNo("the power") ? Kind::kPowerOn : Kind::kPowerOff);
  } else if (c.Accept("out")) {
    c.Expect("of", "'out of range'");
    c.Expect("range", "'out of range'");
    Event(at, c.Accept("silent|silently") ? Kind::kGoSilent : Kind::kPowerOff);
  } else if (c.Accept("out-of-range")) {
    Event(at, c.Accept("silent|silently") ? Kind::kGoSilent : Kind::kPowerOff);
  } else if (c.Accept("in")) {
    c.Expect("range", "'in range'");
    Event(at, Kind::kPowerOn);
  } else if (c.Accept("in-range")) {
    Event(at, Kind::kPowerOn);
  } else if (c.Accept("cancel-delay")) {
    Event(at, Kind::kCancelDelay, DriverDelay(c, "the cancel delay", true));
  } else if (c.Accept("write-delay")) {
    Event(at, Kind::kWriteDelay, DriverDelay(c, "the write delay", false));
  } else if (c.Accept("status")) {
    c.Accept("report");
    Event(at, Kind::kStatusReport);
  } else {
    c.Fail(c.AtEnd() ? "what happens is missing (load, button, batteries, power, out of range, in range, "
                       "cancel-delay, write-delay, status report)"
                     : "'" + c.Next("").text + "' is not an event (load, button, batteries, power, out of range, "
                                               "in range, cancel-delay, write-delay, status report)");
  }
  c.ExpectEnd();
}

void ScenarioReader::CheckCapturedBoard(size_t index) {
  SimulatedBoard& board = scenario_.boards[index];
  const BoardExtras& extras = extras_[index];
  if (!board.settings.capture) return;
  if (extras.modelLine > 0)
    throw ScenarioError(extras.modelLine, "'" + extras.modelWord +
                                              "' has no meaning for a board that replays a capture: its reports "
                                              "come from the capture");
  if (!extras.addressGiven) TakeCapturedAddress(scenario_, index, extras.captureLine);
}

Scenario ScenarioReader::Finish() {
  for (size_t i = 0; i < scenario_.boards.size(); ++i) {
    SimulatedBoard& board = scenario_.boards[i];
    uint64_t& jitter = board.settings.reportJitterMicros;
    if (jitter >= board.settings.reportIntervalMicros) {
      if (extras_[i].jitterLine > 0)
        throw ScenarioError(extras_[i].jitterLine, "the jitter must be shorter than the board's report interval");
      jitter = board.settings.reportIntervalMicros / 2;  // the default jitter, for a fast board
    }
    if (!extras_[i].load->Empty()) board.load = extras_[i].load;
    CheckCapturedBoard(i);
  }
  AddLinkLosses(scenario_);
  return scenario_;
}

}  // namespace

bool ParseScenario(const std::string& text, const std::string& source, Scenario& out, std::string& error) {
  try {
    ScenarioReader reader(source);
    for (const ScenarioLine& line : SplitScenarioLines(text)) reader.Read(line);
    out = reader.Finish();
    return true;
  } catch (const ScenarioError& e) {
    error = source + ":" + std::to_string(e.line()) + ": " + e.what();
    return false;
  }
}

bool LoadScenarioFile(const std::string& path, Scenario& out, std::string& error) {
  std::string text;
  return recording::ReadTextFile(path, text, error) && ParseScenario(text, path, out, error);
}

}  // namespace sim
