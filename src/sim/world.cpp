#include "sim/world.h"

#include "sim/scenario_file.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {
constexpr double kDefaultPersonKg = 70.0;

// A board asks its load for the time since its own power-on; the scenario's loads run on world
// time, so that switching a board off and on does not make its person start over.
class OnWorldTime : public LoadModel {
 public:
  OnWorldTime(std::shared_ptr<const LoadModel> load, uint64_t origin) : load_(std::move(load)), origin_(origin) {}
  SensorLoads At(uint64_t) const override {
    uint64_t now = NowMicros();
    return load_->At(now > origin_ ? now - origin_ : 0);
  }

 private:
  std::shared_ptr<const LoadModel> load_;
  uint64_t origin_;
};
}  // namespace

std::wstring SerialNumberFor(uint64_t address) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%012llx", static_cast<unsigned long long>(address & 0xFFFFFFFFFFFFull));
  return text;
}

Scenario DefaultScenario() {
  Scenario scenario;
  SimulatedRadio radio;
  radio.address = kDefaultRadioAddress;
  scenario.radios.push_back(radio);
  SimulatedBoard board;
  board.bluetooth.address = kDefaultBoardAddress;
  board.load = std::make_shared<SwayingPerson>(kDefaultPersonKg);
  scenario.boards.push_back(board);
  return scenario;
}

World& World::Instance() {
  static World* world = new World;  // boards run timers to the very end of the process
  return *world;
}

void World::Build(const Scenario& scenario) {
  std::lock_guard<std::mutex> guard(lock_);
  ClearLocked();
  BuildLocked(scenario);
  built_ = true;
}

void World::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  ClearLocked();
  built_ = true;
}

void World::BuildFromEnvironment() {
  std::lock_guard<std::mutex> guard(lock_);
  ClearLocked();
  BuildFromEnvironmentLocked();
}

void World::EnsureBuilt() {
  std::lock_guard<std::mutex> guard(lock_);
  if (built_) return;
  BuildFromEnvironmentLocked();
}

void World::BuildFromEnvironmentLocked() {
  built_ = true;
  const char* path = std::getenv(kScenarioVariable);
  if (!path || !*path) {
    BuildLocked(DefaultScenario());
    return;
  }
  Scenario scenario;
  std::string error;
  if (!LoadScenarioFile(path, scenario, error)) {
    std::fprintf(stderr, "%s: %s\n%s: the simulated world is empty: no radio, no board\n", kScenarioVariable,
                 error.c_str(), kScenarioVariable);
    return;
  }
  BuildLocked(scenario);
}

void World::ClearLocked() {
  ++generation_;
  for (TimerId timer : eventTimers_) CancelTimer(timer);
  eventTimers_.clear();
  BluetoothWorld::Instance().Reset();
  for (const auto& path : paths_) UnregisterHidDevice(path);
  for (const auto& board : boards_) board->PowerOff();
  boards_.clear();
  addresses_.clear();
  paths_.clear();
}

void World::BuildLocked(const Scenario& scenario) {
  uint64_t origin = NowMicros();
  BluetoothWorld& bluetooth = BluetoothWorld::Instance();
  bluetooth.SetLastSeenZone(scenario.timeZoneMinutes);
  for (const auto& radio : scenario.radios) bluetooth.AddRadio(radio.address, radio.name);
  for (const auto& simulated : scenario.boards) {
    BoardSettings settings = simulated.settings;
    settings.serialNumber = SerialNumberFor(simulated.bluetooth.address);
    std::shared_ptr<BalanceBoard> board = BalanceBoard::Create(settings);
    if (simulated.load) board->SetLoadModel(std::make_shared<OnWorldTime>(simulated.load, origin));
    std::wstring path = BalanceBoard::DevicePathFor(settings.serialNumber);
    boards_.push_back(board);
    addresses_.push_back(simulated.bluetooth.address);
    paths_.push_back(path);
    bluetooth.AddDevice(simulated.bluetooth);
    // The board is a HID device while it is paired with its HID service on and in range.
    std::weak_ptr<BalanceBoard> weak = board;
    bluetooth.ObserveHidPresence(simulated.bluetooth.address, [weak, path](bool present) {
      auto live = weak.lock();
      if (present && live)
        RegisterHidDevice(path, live);
      else
        UnregisterHidDevice(path);
    });
  }
  for (const auto& event : scenario.events) ScheduleLocked(event, origin);
}

void World::ScheduleLocked(const ScenarioEvent& event, uint64_t origin) {
  if (event.board >= boards_.size()) return;
  uint64_t generation = generation_;
  eventTimers_.push_back(
      ScheduleAt(origin + event.atMicros, [this, generation, event] { ApplyEvent(generation, event); }));
}

void World::ApplyEvent(uint64_t generation, const ScenarioEvent& event) {
  std::lock_guard<std::mutex> guard(lock_);
  if (generation != generation_ || event.board >= boards_.size()) return;
  BalanceBoard& board = *boards_[event.board];
  uint64_t address = addresses_[event.board];
  switch (event.kind) {
    case ScenarioEvent::Kind::kButtonDown:
      board.SetButton(true);
      break;
    case ScenarioEvent::Kind::kButtonUp:
      board.SetButton(false);
      break;
    case ScenarioEvent::Kind::kBatteriesFail:
      board.SetBatteriesFailing(true);
      break;
    case ScenarioEvent::Kind::kBatteriesRestored:
      board.SetBatteriesFailing(false);
      break;
    case ScenarioEvent::Kind::kGoSilent:
      board.GoSilent();
      break;
    case ScenarioEvent::Kind::kLinkLost:
      if (!board.Silent()) break;  // back in range, or gone by other means, before the time-out
      [[fallthrough]];
    case ScenarioEvent::Kind::kPowerOff:
      // Reads fail first, then the system loses the HID device.
      board.PowerOff();
      BluetoothWorld::Instance().Update(address, [](BluetoothDeviceState& d) { d.inRange = d.connected = false; });
      break;
    case ScenarioEvent::Kind::kPowerOn:
      // A paired board connects again by itself when it comes back.
      board.PowerOn();
      BluetoothWorld::Instance().Update(address, [](BluetoothDeviceState& d) {
        d.inRange = true;
        d.connected = d.remembered;
      });
      break;
    case ScenarioEvent::Kind::kCancelDelay:
      board.DelayCancellation(event.micros);
      break;
    case ScenarioEvent::Kind::kWriteDelay:
      board.DelayWrites(event.micros);
      break;
    case ScenarioEvent::Kind::kStatusReport:
      board.SendStatusReport();
      break;
  }
}

size_t World::BoardCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return boards_.size();
}

std::shared_ptr<BalanceBoard> World::Board(size_t index) const {
  std::lock_guard<std::mutex> guard(lock_);
  return index < boards_.size() ? boards_[index] : nullptr;
}

uint64_t World::BoardAddress(size_t index) const {
  std::lock_guard<std::mutex> guard(lock_);
  return index < addresses_.size() ? addresses_[index] : 0;
}

}  // namespace sim
