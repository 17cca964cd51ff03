// Reading the scenario words for what real boards and Bluetooth stacks do.
#include "sim/scenario_reality.h"

namespace sim {

namespace {
constexpr uint64_t kLongestHidArrival = 600'000'000;  // ten minutes: longer is no arrival at all
constexpr long kMostNoiseUnits = 1000;
constexpr double kLargestZeroOffsetKg = 50.0;
}  // namespace

const char kRealBoardSettings[] = "hid-arrival|link-key|supervision|noise|zero-offset";

bool ReadRealBoardSetting(WordCursor& c, SimulatedBoard& board) {
  if (c.Accept("hid-arrival")) {
    board.bluetooth.hidArrivalMicros = c.Micros("the HID device's arrival");
    if (board.bluetooth.hidArrivalMicros > kLongestHidArrival) c.Fail("the HID device's arrival takes at most 10 min");
  } else if (c.Accept("link-key")) {
    c.Expect("stale", "the link key's state");
    board.bluetooth.SetStaleLinkKey();
  } else if (c.Accept("supervision")) {
    board.settings.supervisionMicros = c.Micros("the supervision time-out");
    if (board.settings.supervisionMicros == 0) c.Fail("the supervision time-out must be longer than 0 s");
  } else if (c.Accept("noise")) {
    board.settings.noiseUnits = static_cast<uint16_t>(c.Integer("the noise in raw units", 0, kMostNoiseUnits));
  } else if (c.Accept("zero-offset")) {
    double kg = c.SignedKilograms("the zero offset");
    if (kg < -kLargestZeroOffsetKg || kg > kLargestZeroOffsetKg) c.Fail("the zero offset lies between -50 kg and 50 kg");
    board.settings.zeroOffsetKilograms = kg;
  } else {
    return false;
  }
  return true;
}

void AddLinkLosses(Scenario& scenario) {
  std::vector<ScenarioEvent> losses;
  for (const ScenarioEvent& event : scenario.events) {
    if (event.kind != ScenarioEvent::Kind::kGoSilent) continue;
    ScenarioEvent lost = event;
    lost.kind = ScenarioEvent::Kind::kLinkLost;
    lost.atMicros += scenario.boards[event.board].settings.supervisionMicros;
    losses.push_back(lost);
  }
  scenario.events.insert(scenario.events.end(), losses.begin(), losses.end());
}

}  // namespace sim
