#include "fuzz_world.h"

#include "platform/posix/control.h"
#include "plugin/library.h"

#include <memory>

namespace fuzzing {

namespace {
constexpr uint64_t kReportIntervalMicros = 10'000;
constexpr double kPersonKg = 70.0;
}  // namespace

void AttachPlugin() {
  static const bool attached = [] {
    posix::UseVirtualClock(true);
    sim::World::Instance().Clear();
    LibraryAttach(posix::PluginModuleHandle());
    return true;
  }();
  (void)attached;
}

sim::BoardSettings FastBoardSettings() {
  sim::BoardSettings settings;
  settings.reportIntervalMicros = kReportIntervalMicros;
  settings.reportJitterMicros = 0;
  settings.replyLatencyMicros = 0;
  return settings;
}

sim::Scenario BoardScenario(bool radio, int count, bool paired) {
  sim::Scenario scenario;
  if (radio) scenario.radios.push_back({kRadioAddress, L"radio"});
  const uint64_t addresses[] = {kBoardAddress, kSecondBoardAddress};
  for (int i = 0; i < count && i < 2; ++i) {
    sim::SimulatedBoard board;
    board.bluetooth.address = addresses[i];
    board.bluetooth.SetPaired(paired);
    board.settings = FastBoardSettings();
    board.load = std::make_shared<sim::SwayingPerson>(kPersonKg);
    scenario.boards.push_back(board);
  }
  return scenario;
}

}  // namespace fuzzing
