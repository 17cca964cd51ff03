// The simulated world for the benchmarks: the plug-in attached as the loader would, on the real
// clock, with the board's default timing (about 60 reports a second, 1 ms reply latency).
#pragma once

#include "discovery/device_search.h"
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "plugin/library.h"
#include "sim/world.h"

#include <memory>

namespace bench {

inline sim::Scenario Scenario(bool radio, bool pairedBoard) {
  sim::Scenario scenario;
  if (radio) scenario.radios.push_back({sim::kDefaultRadioAddress, L"radio"});
  if (pairedBoard) {
    sim::SimulatedBoard board;
    board.bluetooth.address = sim::kDefaultBoardAddress;
    board.bluetooth.SetPaired(true);
    board.load = std::make_shared<sim::SwayingPerson>(70.0);
    scenario.boards.push_back(board);
  }
  return scenario;
}

// Builds the world for one benchmark and takes it down again.
class RealClockWorld {
 public:
  explicit RealClockWorld(const sim::Scenario& scenario) {
    posix::UseVirtualClock(false);
    CloseAll();
    DeviceSearch::ResetForTesting();
    sim::World::Instance().Build(scenario);
  }
  ~RealClockWorld() {
    CloseAll();
    sim::World::Instance().Clear();
  }
  RealClockWorld(const RealClockWorld&) = delete;
  RealClockWorld& operator=(const RealClockWorld&) = delete;
};

}  // namespace bench
