// Scenario files as people write them: what a file says ends up in the scenario, spellings are
// forgiven, mistakes are named with their line, and the shipped scenarios stay readable.
#include "sim/load_timeline.h"
#include "sim/scenario_file.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using Kind = sim::ScenarioEvent::Kind;

sim::Scenario Parse(const std::string& text) {
  sim::Scenario scenario;
  std::string error;
  EXPECT_TRUE(sim::ParseScenario(text, "test.scenario", scenario, error)) << error;
  return scenario;
}

std::string ErrorOf(const std::string& text) {
  sim::Scenario scenario;
  std::string error;
  EXPECT_FALSE(sim::ParseScenario(text, "test.scenario", scenario, error)) << text;
  return error;
}

double Total(const sim::SensorLoads& loads) { return loads[0] + loads[1] + loads[2] + loads[3]; }
double Right(const sim::SensorLoads& loads) { return loads[0] + loads[1]; }  // sensors 0 and 1

constexpr uint64_t kSecond = 1'000'000;

TEST(ScenarioFile, AFullScenarioEndsUpInTheWorldDescription) {
  sim::Scenario s = Parse(R"(
# two radios, two boards
radio 00:11:22:33:44:55 name "Desk radio"
radio
board 00-17-ab-3c-4d-5e paired yes name Balance board one
  report-interval 10 ms
  jitter 1500 us
  battery 0x40
  seed 9
  calibration 34 kg  5000 5100 5200 5300
  load still 80 kg split 40/60
  at 2 s load step-off
  at 1.5 s button press
  at 3 s power off
board 0019fd001122 power off
  battery low
  at 1 min in range
  at 70 s batteries fail
)");
  ASSERT_EQ(s.radios.size(), 2u);
  EXPECT_EQ(s.radios[0].address, 0x001122334455u);
  EXPECT_EQ(s.radios[0].name, L"Desk radio");
  EXPECT_EQ(s.radios[1].address, sim::kDefaultRadioAddress + 1) << "radios without an address are numbered";

  ASSERT_EQ(s.boards.size(), 2u);
  const sim::SimulatedBoard& one = s.boards[0];
  EXPECT_EQ(one.bluetooth.address, 0x0017ab3c4d5eu);
  EXPECT_EQ(one.bluetooth.name, L"Balance board one");
  EXPECT_TRUE(one.bluetooth.remembered && one.bluetooth.authenticated && one.bluetooth.connected &&
              one.bluetooth.hidServiceEnabled);
  EXPECT_TRUE(one.bluetooth.inRange);
  EXPECT_EQ(one.settings.reportIntervalMicros, 10'000u);
  EXPECT_EQ(one.settings.reportJitterMicros, 1'500u);
  EXPECT_EQ(one.settings.batteryLevel, 0x40);
  EXPECT_EQ(one.settings.randomSeed, 9u);
  EXPECT_EQ(one.settings.calibration.readings[2][3], 5300);
  EXPECT_EQ(one.settings.calibration.readings[0][0], sim::DefaultCalibration().readings[0][0]);

  ASSERT_TRUE(one.load);
  sim::SensorLoads standing = one.load->At(1 * kSecond);
  EXPECT_NEAR(Total(standing), 80.0, 1e-9);
  EXPECT_NEAR(Right(standing), 48.0, 1e-9) << "60 % on the right";
  EXPECT_NEAR(Total(one.load->At(2 * kSecond + 250'000)), 40.0, 1e-9) << "half way through stepping off";
  EXPECT_NEAR(Total(one.load->At(3 * kSecond)), 0.0, 1e-9);

  const sim::SimulatedBoard& two = s.boards[1];
  EXPECT_EQ(two.bluetooth.address, 0x0019fd001122u);
  EXPECT_FALSE(two.bluetooth.remembered);
  EXPECT_FALSE(two.bluetooth.inRange);
  EXPECT_LT(two.settings.batteryLevel, 0x20);
  EXPECT_FALSE(two.load) << "a board with no load line is empty";

  struct Expected {
    uint64_t at;
    size_t board;
    Kind kind;
  };
  const Expected expected[] = {{1'500'000, 0, Kind::kButtonDown}, {1'700'000, 0, Kind::kButtonUp},
                               {3 * kSecond, 0, Kind::kPowerOff}, {60 * kSecond, 1, Kind::kPowerOn},
                               {70 * kSecond, 1, Kind::kBatteriesFail}};
  ASSERT_EQ(s.events.size(), std::size(expected));
  for (size_t i = 0; i < s.events.size(); ++i) {
    EXPECT_EQ(s.events[i].atMicros, expected[i].at) << i;
    EXPECT_EQ(s.events[i].board, expected[i].board) << i;
    EXPECT_EQ(s.events[i].kind, expected[i].kind) << i;
  }
}

TEST(ScenarioFile, ForgivesCaseDashesUnitsAndSeparators) {
  sim::Scenario s = Parse(
      "Radio:\r\n"
      "BOARD Paired=Yes\r\n"
      "  Report_Interval: 0.02   # seconds when no unit is written\n"
      "  jitter = 3ms\n"
      "  calibration 0kg, 1000, 1001, 1002, 1003\n"
      "  LOAD Sway 70 KG split 30% / 70% amplitude 2 cm period 4000 ms\n"
      "  At 2.5 S: Button Press For 1 s\n"
      "  at 3s out of range\n"
      "  at 4s switched on\n"
      "  at 5s Batteries OK\n"
      "  at 6s load Step Off\n"
      "  at 8s load step on 50kg\n");
  ASSERT_EQ(s.radios.size(), 1u);
  EXPECT_EQ(s.radios[0].address, sim::kDefaultRadioAddress);
  ASSERT_EQ(s.boards.size(), 1u);
  EXPECT_EQ(s.boards[0].bluetooth.address, sim::kDefaultBoardAddress);
  EXPECT_TRUE(s.boards[0].bluetooth.remembered);
  EXPECT_EQ(s.boards[0].settings.reportIntervalMicros, 20'000u);
  EXPECT_EQ(s.boards[0].settings.reportJitterMicros, 3'000u);
  EXPECT_EQ(s.boards[0].settings.calibration.readings[0][3], 1003);
  // The sway centres on the 70 % side; at a quarter period it is 20 mm further right.
  sim::SensorLoads quarter = s.boards[0].load->At(1 * kSecond);
  double centre = sim::CentreForSplit(30, 70);
  double x = (Right(quarter) / Total(quarter) - 0.5) * sim::kSensorSpanXMillimetres;
  EXPECT_NEAR(x, centre + 20.0, 1e-6);
  EXPECT_EQ(Total(s.boards[0].load->At(7 * kSecond)), 0.0);
  EXPECT_NEAR(Total(s.boards[0].load->At(8 * kSecond + 250'000)), 25.0, 1e-9) << "stepping on takes a moment";
  EXPECT_NEAR(Total(s.boards[0].load->At(9 * kSecond)), 50.0, 1e-9);
  ASSERT_EQ(s.events.size(), 5u);
  EXPECT_EQ(s.events[1].atMicros, 3'500'000u) << "held for one second";
  EXPECT_EQ(s.events[2].kind, Kind::kPowerOff);
  EXPECT_EQ(s.events[3].kind, Kind::kPowerOn);
  EXPECT_EQ(s.events[4].kind, Kind::kBatteriesRestored);
}

TEST(ScenarioFile, ReplyLinesDisturbTheOpenInOrderAndARememberedBoardCanBeAbsent) {
  sim::Scenario s = Parse(
      "board paired yes power off\n"
      "  reply status extra-report button\n"
      "  reply read extra data\n"
      "  reply Read Late 700 ms\n");
  ASSERT_EQ(s.boards.size(), 1u);
  EXPECT_TRUE(s.boards[0].bluetooth.remembered);
  EXPECT_FALSE(s.boards[0].bluetooth.inRange);
  const auto& faults = s.boards[0].settings.faults;
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[0].first, 0x15);
  EXPECT_EQ(faults[0].second.dataReportsFirst, 1);
  EXPECT_EQ(faults[0].second.dataReportId, 0x30);
  EXPECT_EQ(faults[1].first, 0x17);
  EXPECT_EQ(faults[1].second.dataReportId, 0x32);
  EXPECT_EQ(faults[2].second.kind, sim::ReplyFault::Kind::kLate);
  EXPECT_EQ(faults[2].second.lateMicros, 700'000u);
}

TEST(ScenarioFile, WhatRealBoardsAndStacksDo) {
  sim::Scenario s = Parse(
      "board\n"
      "  report-interval 10 ms uneven\n"
      "  noise 3\n"
      "  zero-offset -0.4 kg\n"
      "  hid-arrival 4 s\n"
      "  link-key stale\n"
      "  reply read error 8\n"
      "  reply write ack-error 4\n"
      "  reply leds extra-report status\n"
      "  at 8 s status report\n"
      "  at 9 s out of range silent\n"
      "  supervision 8 s\n");
  const sim::SimulatedBoard& b = s.boards[0];
  EXPECT_TRUE(b.settings.unevenReports);
  EXPECT_EQ(b.settings.noiseUnits, 3);
  EXPECT_DOUBLE_EQ(b.settings.zeroOffsetKilograms, -0.4);
  EXPECT_EQ(b.bluetooth.hidArrivalMicros, 4 * kSecond);
  EXPECT_TRUE(b.bluetooth.staleLinkKey && b.bluetooth.remembered && !b.bluetooth.connected);
  ASSERT_EQ(b.settings.faults.size(), 3u);
  EXPECT_EQ(b.settings.faults[0].second.kind, sim::ReplyFault::Kind::kReadError);
  EXPECT_EQ(b.settings.faults[0].second.value, 8);
  EXPECT_EQ(b.settings.faults[1].second.kind, sim::ReplyFault::Kind::kAckError);
  EXPECT_EQ(b.settings.faults[2].first, 0x11);
  EXPECT_EQ(b.settings.faults[2].second.dataReportId, 0x20);
  ASSERT_EQ(s.events.size(), 3u);
  EXPECT_EQ(s.events[0].kind, sim::ScenarioEvent::Kind::kStatusReport);
  EXPECT_EQ(s.events[1].kind, sim::ScenarioEvent::Kind::kGoSilent);
  EXPECT_EQ(s.events[2].kind, sim::ScenarioEvent::Kind::kLinkLost);
  EXPECT_EQ(s.events[2].atMicros, 17 * kSecond) << "the board's own supervision time-out, though set later";
}

TEST(ScenarioFile, AnEmptyFileIsAnEmptyWorld) {
  sim::Scenario s = Parse("# nothing here\n\n   \n");
  EXPECT_TRUE(s.radios.empty());
  EXPECT_TRUE(s.boards.empty());
}

TEST(ScenarioFile, JitterOfAFastBoardShrinksUnlessItWasGiven) {
  EXPECT_LT(Parse("board interval 1ms").boards[0].settings.reportJitterMicros, 1'000u);
  EXPECT_EQ(ErrorOf("board\n  jitter 5 ms\n  interval 4 ms\n").rfind("test.scenario:2: ", 0), 0u);
}

TEST(ScenarioFile, MistakesAreNamedWithTheirLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"radio\nfoo 3\n", "test.scenario:2: 'foo' is not a scenario line"},
      {"paired yes\n", "test.scenario:1: this setting belongs to a board: put a 'board' line above it"},
      {"radio\n\nload still 70\n", "test.scenario:3: a load belongs to a board"},
      {"board\nat 2 s button press\nat 1 s explode\n", "test.scenario:3: 'explode' is not an event"},
      {"board\nload still 70st\n", "test.scenario:2: '70st': 'st' is not a unit for the weight"},
      {"board\nload still 70 kg stones\n", "test.scenario:2: unexpected 'stones'"},
      {"board\nload still\n", "test.scenario:2: the weight is missing"},
      {"board\nload still 400 kg\n", "test.scenario:2: a board carries at most 300 kg"},
      {"board\nload still 70 split 40\n", "test.scenario:2: '40' is not a left/right split"},
      {"board\nload hover 70\n", "test.scenario:2: 'hover' is not a load"},
      {"board\nload sway 70 period 0\n", "test.scenario:2: the sway's period must be longer than 0 s"},
      {"board\nat -1 s power off\n", "test.scenario:2: the time cannot be negative"},
      {"board\nat soon power off\n", "test.scenario:2: 'soon' is not a number for the time"},
      {"board\nat 1 s\n", "test.scenario:2: what happens is missing"},
      {"board\nat 1 s button\n", "test.scenario:2: a button action is missing (press/down/up)"},
      {"board\nat 1 s power off now\n", "test.scenario:2: unexpected 'now'"},
      {"board 00:17:AB:3C:4D\n", "test.scenario:1: '00:17:AB:3C:4D' is not a Bluetooth address"},
      {"board 00:17:AB:3C:4D:5E\nboard 0017ab3c4d5e\n", "test.scenario:2: a board with this address is already"},
      {"radio 1\n", "test.scenario:1: '1' is not a Bluetooth address"},
      {"radio name \"open\n", "test.scenario:1: a quoted text is not closed"},
      {"board\ncalibration 20 kg 1 2 3 4\n", "test.scenario:2: a calibration point is 0 kg, 17 kg or 34 kg"},
      {"board\ncalibration 0 kg 1 2 3\n", "test.scenario:2: a sensor's raw reading (four of them) is missing"},
      {"board\ncalibration 0 kg 1 2 3 70000\n", "test.scenario:2: a sensor's raw reading (four of them) must lie"},
      {"board\nbattery plenty\n", "test.scenario:2: 'plenty' is not a whole number"},
      {"board\nreport-interval 2 s\n", "test.scenario:2: the report interval must lie between 1 ms and 1 s"},
      {"board\npaired maybe\n", "test.scenario:2: 'maybe' is not yes or no (on or off), for paired"},
      {"board\nreply sing late 1\n", "test.scenario:2: 'sing' is not a request whose reply is disturbed"},
      {"board\nreply read soon\n", "test.scenario:2: 'soon' is not what happens to the reply"},
      {"board\nat 1 s batteries low\n", "test.scenario:2: 'low' is not what the batteries do (fail/ok)"},
      {"board\nreply write error 7\n", "test.scenario:2: only a memory read's reply carries an error"},
      {"board\nreply read error 16\n", "test.scenario:2: the error code (7, 8 or 4) must lie between 1 and 15"},
      {"board\nlink-key lost\n", "test.scenario:2: 'lost' is not the link key's state (stale)"},
      {"board\nload replay trial.csv sometimes\n", "test.scenario:2: unexpected 'sometimes' (a replay takes with"},
      {"board\nload replay trial.csv axes\n", "test.scenario:2: how the recording's axes differ is missing"},
      {"board\nload replay /nonexistent/trial.csv\n", "test.scenario:2: /nonexistent/trial.csv: cannot be opened"},
      {"board replay-capture /nonexistent/c.txt\n", "test.scenario:1: /nonexistent/c.txt: cannot be opened"},
  };
  for (const Case& c : cases) {
    std::string error = ErrorOf(c.text);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << "for:\n" << c.text << "\ngot: " << error;
  }
}

TEST(ScenarioFile, AFileThatCannotBeOpenedIsNamed) {
  sim::Scenario s;
  std::string error;
  EXPECT_FALSE(sim::LoadScenarioFile("/nonexistent/world.scenario", s, error));
  EXPECT_EQ(error.rfind("/nonexistent/world.scenario: cannot be opened", 0), 0u) << error;
}

TEST(ScenarioFile, TheDefaultScenarioFileIsTheDefaultWorld) {
  sim::Scenario file, builtIn = sim::DefaultScenario();
  std::string error;
  ASSERT_TRUE(sim::LoadScenarioFile(PLANKSCALE_SOURCE_DIR "/docs/scenarios/default.scenario", file, error)) << error;
  ASSERT_EQ(file.radios.size(), builtIn.radios.size());
  EXPECT_EQ(file.radios[0].address, builtIn.radios[0].address);
  EXPECT_EQ(file.radios[0].name, builtIn.radios[0].name);
  ASSERT_EQ(file.boards.size(), builtIn.boards.size());
  const sim::SimulatedBoard& a = file.boards[0];
  const sim::SimulatedBoard& b = builtIn.boards[0];
  EXPECT_EQ(a.bluetooth.address, b.bluetooth.address);
  EXPECT_EQ(a.bluetooth.name, b.bluetooth.name);
  EXPECT_EQ(a.bluetooth.remembered, b.bluetooth.remembered);
  EXPECT_EQ(a.settings.reportIntervalMicros, b.settings.reportIntervalMicros);
  EXPECT_EQ(a.settings.calibration.readings, b.settings.calibration.readings);
  for (uint64_t t = 0; t < 20 * kSecond; t += 1'234'567) {
    sim::SensorLoads x = a.load->At(t), y = b.load->At(t);
    for (size_t s = 0; s < x.size(); ++s) EXPECT_NEAR(x[s], y[s], 1e-9) << "at " << t << " us, sensor " << s;
  }
  EXPECT_TRUE(file.events.empty());
}

TEST(ScenarioFile, EveryShippedScenarioReads) {
  const std::string folder = PLANKSCALE_SOURCE_DIR "/docs/scenarios/";
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(dir, nullptr);
  int count = 0;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() < 9 || name.substr(name.size() - 9) != ".scenario") continue;
    ++count;
    sim::Scenario s;
    std::string error;
    EXPECT_TRUE(sim::LoadScenarioFile(folder + name, s, error)) << error;
  }
  closedir(dir);
  EXPECT_GE(count, 5);
}

TEST(LoadTimeline, ChangesTakeOverAtTheirTimeAndRampsBlend) {
  sim::LoadTimeline timeline;
  auto person = std::make_shared<sim::FixedLoad>(sim::Distribute(60, 0, 0));
  auto heavier = std::make_shared<sim::FixedLoad>(sim::Distribute(100, 0, 0));
  timeline.Add(3'500'000, std::make_shared<sim::EmptyLoad>(), kSecond);  // added out of order
  timeline.Add(1 * kSecond, person);
  timeline.Add(2 * kSecond, heavier, 2 * kSecond);
  EXPECT_EQ(Total(timeline.At(0)), 0.0) << "empty before the first load";
  EXPECT_NEAR(Total(timeline.At(1 * kSecond)), 60.0, 1e-9);
  EXPECT_NEAR(Total(timeline.At(3 * kSecond)), 80.0, 1e-9) << "half way from 60 to 100";
  // The step-off starts while the change to 100 kg is still under way: at 3.75 s that change
  // has reached 95 kg, and a quarter of it has gone.
  EXPECT_NEAR(Total(timeline.At(3'750'000)), 71.25, 1e-9);
  EXPECT_EQ(Total(timeline.At(9 * kSecond)), 0.0);

  timeline.Add(1 * kSecond, heavier);  // the later of two at the same time wins
  EXPECT_NEAR(Total(timeline.At(1 * kSecond)), 100.0, 1e-9);
}

TEST(LoadTimeline, SplitMovesTheCentreOfPressure) {
  EXPECT_EQ(sim::CentreForSplit(50, 50), 0.0);
  EXPECT_NEAR(sim::CentreForSplit(0, 100), sim::kSensorSpanXMillimetres / 2, 1e-9);
  EXPECT_NEAR(sim::CentreForSplit(2, 3), 0.1 * sim::kSensorSpanXMillimetres, 1e-9);
  EXPECT_EQ(sim::CentreForSplit(0, 0), 0.0);
}

}  // namespace
