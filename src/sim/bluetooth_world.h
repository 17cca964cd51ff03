// The simulated Bluetooth stack: radios, the devices in range or remembered by the system,
// pairing, installed services and removal. The Bluetooth API of the POSIX layer answers from it.
#pragma once

#include "platform/win32.h"
#include "sim/clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

constexpr uint32_t kBalanceBoardClassOfDevice = 0x002504;
constexpr wchar_t kBalanceBoardName[] = L"Nintendo RVL-WBC-01";
constexpr uint32_t kInquiryUnitMs = 1280;  // the API's time-out multiplier counts these
// How long plug and play takes to install a board's HID device once its HID service is enabled:
// a couple of seconds for a driver Windows has (the first pairing of a board also installs the
// driver, and takes longer).
constexpr uint64_t kDefaultHidArrivalMicros = 2'000'000;

extern const GUID kHidServiceClass;

struct BluetoothDeviceState {
  std::wstring name = kBalanceBoardName;
  uint64_t address = 0;
  uint32_t classOfDevice = kBalanceBoardClassOfDevice;
  bool inRange = true;  // switched on and close enough to be seen and connected
  bool remembered = false;
  bool authenticated = false;
  bool connected = false;
  bool hidServiceEnabled = false;
  // Plug and play has installed the HID device of the enabled service, hidArrivalMicros after
  // the service was enabled.
  bool hidInstalled = false;
  uint64_t hidArrivalMicros = kDefaultHidArrivalMicros;
  // Remembered with a link key the board no longer has (it was synced with another host since):
  // the system lists it as paired and an inquiry sees it, but it never connects until its
  // pairing is removed and made again.
  bool staleLinkKey = false;
  SYSTEMTIME lastSeen{};  // when an inquiry last saw it, in the last-seen zone; all zero: never
  int otherServices = 0;  // installed services besides HID, to overflow a listing
  // The radio has asked the device's name on an earlier sighting. Until then an inquiry shows a
  // device it does not remember without a name, as the name request answers after the inquiry.
  bool nameKnown = false;
  // Faults.
  bool refusesPasskey = false;
  bool acceptsWithoutPasskey = false;
  bool failsServiceListing = false;
  bool failsServiceEnable = false;
  bool failsRemoval = false;
  // How long the system takes over a removal, failed or not (it may end the link first).
  uint64_t removalMicros = 0;

  // As a board paired on an earlier day is (remembered, authenticated, connected, HID service
  // on), or as one never paired.
  void SetPaired(bool paired) { remembered = authenticated = connected = hidServiceEnabled = hidInstalled = paired; }
  // Paired on an earlier day, then synced with another host.
  void SetStaleLinkKey() {
    SetPaired(true);
    connected = false;
    staleLinkKey = true;
  }

  // Paired, HID service on and installed, reachable: the system shows the board as a HID device.
  bool HidPresent() const {
    return remembered && authenticated && hidServiceEnabled && hidInstalled && inRange && !staleLinkKey;
  }
};

class BluetoothWorld {
 public:
  static BluetoothWorld& Instance();

  // No radios, no devices, no calls recorded, no observers; the times in universal time.
  void Reset();
  // The zone, in minutes east of universal time, in which the system keeps when it last saw a
  // device (stLastSeen): Microsoft does not say which it is.
  void SetLastSeenZone(int minutesEast);
  void AddRadio(uint64_t address, const std::wstring& name = L"Simulated Bluetooth radio");
  void AddDevice(const BluetoothDeviceState& device);
  bool Device(uint64_t address, BluetoothDeviceState& out) const;
  // Changes a device (for example: out of range, or a fault) and tells its observer.
  void Update(uint64_t address, const std::function<void(BluetoothDeviceState&)>& change);
  // Called with true when the device's HID interface appears and false when it goes.
  void ObserveHidPresence(uint64_t address, std::function<void(bool present)> observer);

  // Every Bluetooth API call, by function name, in order.
  std::vector<std::string> Calls() const;

  // --- for the API ---------------------------------------------------------------------------
  void RecordCall(const char* function);
  std::vector<uint64_t> RadioAddresses() const;
  std::wstring RadioName(size_t radio) const;
  // The devices a search on this radio returns, as the flags select them, each as that sighting
  // shows it. A sighting teaches the radio the name of a device in range; an inquiry notes when
  // it saw each device in range.
  std::vector<BluetoothDeviceState> Search(bool authenticated, bool remembered, bool unknown, bool connected,
                                           bool inquiry);
  DWORD Authenticate(size_t radio, uint64_t address, const WCHAR* passkey, ULONG length);
  DWORD InstalledServices(uint64_t address, std::vector<GUID>& services) const;
  DWORD SetServiceState(uint64_t address, const GUID& service, bool enable);
  DWORD Remove(uint64_t address);

 private:
  BluetoothWorld() = default;
  // Runs the observer when the device's HID presence changed; call without the lock.
  void Notify(uint64_t address, bool wasPresent);
  // Plug and play installs the HID device of a service just enabled, after a while. Lock held.
  void InstallHidLocked(uint64_t address, BluetoothDeviceState& device);
  void OnHidInstalled(uint64_t address, uint64_t generation);

  mutable std::mutex lock_;
  std::vector<std::pair<uint64_t, std::wstring>> radios_;
  std::map<uint64_t, BluetoothDeviceState> devices_;
  std::map<uint64_t, std::function<void(bool)>> observers_;
  std::vector<std::string> calls_;
  std::vector<TimerId> installTimers_;
  uint64_t generation_ = 0;  // installations pending from an earlier world find it changed
  int lastSeenZoneMinutes_ = 0;
};

}  // namespace sim
