#include "sim/world.h"

#include "platform/posix/hid_endpoint.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {
constexpr uint64_t kDefaultRadioAddress = 0x0022486a1b2c;
constexpr uint64_t kDefaultBoardAddress = 0x0017ab3c4d5e;
constexpr double kDefaultPersonKg = 70.0;
}  // namespace

std::wstring SerialNumberFor(uint64_t address) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%012llx", static_cast<unsigned long long>(address & 0xFFFFFFFFFFFFull));
  return text;
}

Scenario DefaultScenario() {
  Scenario scenario;
  scenario.radios.push_back({kDefaultRadioAddress, L"Simulated Bluetooth radio"});
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

void World::EnsureBuilt() {
  std::lock_guard<std::mutex> guard(lock_);
  if (built_) return;
  built_ = true;
  // A named scenario is read by the scenario loader; without one the default world stands.
  BuildLocked(DefaultScenario());
}

void World::ClearLocked() {
  BluetoothWorld::Instance().Reset();
  for (const auto& path : paths_) posix::UnregisterHidDevice(path);
  for (const auto& board : boards_) board->PowerOff();
  boards_.clear();
  addresses_.clear();
  paths_.clear();
}

void World::BuildLocked(const Scenario& scenario) {
  BluetoothWorld& bluetooth = BluetoothWorld::Instance();
  for (const auto& radio : scenario.radios) bluetooth.AddRadio(radio.address, radio.name);
  for (const auto& simulated : scenario.boards) {
    BoardSettings settings = simulated.settings;
    settings.serialNumber = SerialNumberFor(simulated.bluetooth.address);
    std::shared_ptr<BalanceBoard> board = BalanceBoard::Create(settings);
    if (simulated.load) board->SetLoadModel(simulated.load);
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
        posix::RegisterHidDevice(path, live);
      else
        posix::UnregisterHidDevice(path);
    });
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
