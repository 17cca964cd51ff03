// The simulated world as a whole: radios, and boards that are at once Bluetooth devices and, once
// paired with their HID service on, HID devices. Built from a scenario: the one the environment
// variable PLANKSCALE_SIM names, or the default of one radio and one unpaired board carrying a
// person of about 70 kg who sways gently.
//
// A scenario runs on world time: its loads and its events count from the moment the world is
// built, whatever happens to a board's power in between (the person on it does not start again).
#pragma once

#include "sim/balance_board.h"
#include "sim/bluetooth_world.h"
#include "sim/load_model.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

constexpr char kScenarioVariable[] = "PLANKSCALE_SIM";
constexpr uint64_t kDefaultRadioAddress = 0x0022486a1b2c;
constexpr uint64_t kDefaultBoardAddress = 0x0017ab3c4d5e;

struct SimulatedRadio {
  uint64_t address = 0;
  std::wstring name = L"Simulated Bluetooth radio";
};

struct SimulatedBoard {
  BluetoothDeviceState bluetooth;  // its address is also the board's HID serial number
  BoardSettings settings;
  std::shared_ptr<const LoadModel> load;
};

// Something that happens to a board at a given moment of world time.
struct ScenarioEvent {
  // kGoSilent: out of range without a word (the link goes quiet); kLinkLost: the system gives up
  // on the silent link at its supervision time-out and loses the board's HID device.
  enum class Kind {
    kButtonDown,
    kButtonUp,
    kBatteriesFail,
    kBatteriesRestored,
    kPowerOff,
    kPowerOn,
    kGoSilent,
    kLinkLost,
    kCancelDelay,  // the driver's delays change to micros
    kWriteDelay,
    kStatusReport  // the board sends a status report by itself
  };
  uint64_t atMicros = 0;
  size_t board = 0;  // index in Scenario::boards
  Kind kind = Kind::kButtonDown;
  uint64_t micros = 0;
};

struct Scenario {
  std::vector<SimulatedRadio> radios;
  std::vector<SimulatedBoard> boards;
  std::vector<ScenarioEvent> events;
  // The PC's time zone, minutes east of universal time: the zone of the times the Bluetooth API
  // gives (BluetoothWorld::SetLastSeenZone).
  int timeZoneMinutes = 0;
};

Scenario DefaultScenario();
// The HID serial-number string of a board with this Bluetooth address: twelve hex digits.
std::wstring SerialNumberFor(uint64_t address);

class World {
 public:
  static World& Instance();

  // Replaces whatever world there was.
  void Build(const Scenario& scenario);
  // An empty world: no radio, no device.
  void Clear();
  // Replaces the world with the one PLANKSCALE_SIM names, or the default world when it names
  // none. A scenario file that cannot be read leaves the world empty and says why on stderr.
  void BuildFromEnvironment();
  // BuildFromEnvironment, unless a world was built or cleared already.
  void EnsureBuilt();

  size_t BoardCount() const;
  std::shared_ptr<BalanceBoard> Board(size_t index) const;
  uint64_t BoardAddress(size_t index) const;

 private:
  World() = default;
  void BuildLocked(const Scenario& scenario);
  void BuildFromEnvironmentLocked();
  void ClearLocked();
  void ScheduleLocked(const ScenarioEvent& event, uint64_t origin);
  void ApplyEvent(uint64_t generation, const ScenarioEvent& event);

  mutable std::mutex lock_;
  bool built_ = false;
  uint64_t generation_ = 0;  // events of an earlier world find it changed and do nothing
  std::vector<TimerId> eventTimers_;
  std::vector<std::shared_ptr<BalanceBoard>> boards_;
  std::vector<uint64_t> addresses_;
  std::vector<std::wstring> paths_;
};

}  // namespace sim
