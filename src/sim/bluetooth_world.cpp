#include "sim/bluetooth_world.h"

namespace sim {

const GUID kHidServiceClass = {0x00001124, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};

namespace {
// Another service class, to fill a board's listing beyond the room a caller gives.
const GUID kSerialPortServiceClass = {0x00001101, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
}  // namespace

BluetoothWorld& BluetoothWorld::Instance() {
  static BluetoothWorld* world = new BluetoothWorld;  // outlives every static destructor
  return *world;
}

namespace {

// A time moved by minutes, across days, months and years (proleptic Gregorian calendar).
SYSTEMTIME ShiftedBy(const SYSTEMTIME& time, int minutes) {
  if (minutes == 0) return time;
  auto daysFromCivil = [](int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yearOfEra = y - era * 400;
    int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    return era * 146'097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719'468;
  };
  int64_t total = daysFromCivil(time.wYear, time.wMonth, time.wDay) * 1440 + time.wHour * 60 + time.wMinute + minutes;
  int64_t days = total >= 0 ? total / 1440 : (total - 1439) / 1440;
  int64_t ofDay = total - days * 1440;
  int64_t z = days + 719'468;
  int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  int64_t dayOfEra = z - era * 146'097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1'460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  SYSTEMTIME shifted = time;
  shifted.wYear = static_cast<WORD>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  shifted.wMonth = static_cast<WORD>(month);
  shifted.wDay = static_cast<WORD>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  shifted.wDayOfWeek = static_cast<WORD>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  shifted.wHour = static_cast<WORD>(ofDay / 60);
  shifted.wMinute = static_cast<WORD>(ofDay % 60);
  return shifted;
}

}  // namespace

void BluetoothWorld::SetLastSeenZone(int minutesEast) {
  std::lock_guard<std::mutex> guard(lock_);
  lastSeenZoneMinutes_ = minutesEast;
}

void BluetoothWorld::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  ++generation_;
  lastSeenZoneMinutes_ = 0;
  for (TimerId timer : installTimers_) CancelTimer(timer);
  installTimers_.clear();
  radios_.clear();
  devices_.clear();
  observers_.clear();
  calls_.clear();
}

void BluetoothWorld::AddRadio(uint64_t address, const std::wstring& name) {
  std::lock_guard<std::mutex> guard(lock_);
  radios_.emplace_back(address, name);
}

void BluetoothWorld::AddDevice(const BluetoothDeviceState& device) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    devices_[device.address] = device;
  }
  Notify(device.address, false);
}

bool BluetoothWorld::Device(uint64_t address, BluetoothDeviceState& out) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = devices_.find(address);
  if (it == devices_.end()) return false;
  out = it->second;
  return true;
}

void BluetoothWorld::Update(uint64_t address, const std::function<void(BluetoothDeviceState&)>& change) {
  bool wasPresent;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = devices_.find(address);
    if (it == devices_.end()) return;
    wasPresent = it->second.HidPresent();
    change(it->second);
  }
  Notify(address, wasPresent);
}

void BluetoothWorld::ObserveHidPresence(uint64_t address, std::function<void(bool)> observer) {
  bool present = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    observers_[address] = observer;
    auto it = devices_.find(address);
    present = it != devices_.end() && it->second.HidPresent();
  }
  if (observer) observer(present);
}

void BluetoothWorld::Notify(uint64_t address, bool wasPresent) {
  std::function<void(bool)> observer;
  bool present = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto device = devices_.find(address);
    present = device != devices_.end() && device->second.HidPresent();
    auto it = observers_.find(address);
    if (it != observers_.end()) observer = it->second;
  }
  if (observer && present != wasPresent) observer(present);
}

std::vector<std::string> BluetoothWorld::Calls() const {
  std::lock_guard<std::mutex> guard(lock_);
  return calls_;
}

void BluetoothWorld::RecordCall(const char* function) {
  std::lock_guard<std::mutex> guard(lock_);
  calls_.emplace_back(function);
}

std::vector<uint64_t> BluetoothWorld::RadioAddresses() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<uint64_t> addresses;
  for (const auto& radio : radios_) addresses.push_back(radio.first);
  return addresses;
}

std::wstring BluetoothWorld::RadioName(size_t radio) const {
  std::lock_guard<std::mutex> guard(lock_);
  return radio < radios_.size() ? radios_[radio].second : std::wstring();
}

std::vector<BluetoothDeviceState> BluetoothWorld::Search(bool authenticated, bool remembered, bool unknown,
                                                         bool connected, bool inquiry) {
  SYSTEMTIME universal;
  GetSystemTime(&universal);
  std::lock_guard<std::mutex> guard(lock_);
  const SYSTEMTIME now = ShiftedBy(universal, lastSeenZoneMinutes_);
  std::vector<BluetoothDeviceState> found;
  for (auto& entry : devices_) {
    BluetoothDeviceState& d = entry.second;
    // The system answers for the devices it remembers from its records, whether they are in
    // range or not; others it knows only while an inquiry sees them.
    bool sighted = inquiry && d.inRange;
    if (!sighted && !d.remembered) continue;
    if (sighted) d.lastSeen = now;
    BluetoothDeviceState seen = d;
    seen.connected = d.connected && d.inRange && !d.staleLinkKey;
    if (!d.remembered && !d.nameKnown) seen.name.clear();
    if (sighted) d.nameKnown = true;
    bool wanted = (authenticated && seen.authenticated) || (remembered && seen.remembered) ||
                  (unknown && !seen.remembered) || (connected && seen.connected);
    if (wanted) found.push_back(seen);
  }
  return found;
}

DWORD BluetoothWorld::Authenticate(size_t radio, uint64_t address, const WCHAR* passkey, ULONG length) {
  bool wasPresent;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = devices_.find(address);
    if (it == devices_.end() || !it->second.inRange || radio >= radios_.size()) return ERROR_DEVICE_NOT_CONNECTED;
    BluetoothDeviceState& d = it->second;
    if (d.authenticated) return ERROR_NO_MORE_ITEMS;  // as Windows answers for a paired device
    bool accepted;
    if (passkey && length > 0) {
      // A board takes the address of the radio it pairs with as its passkey.
      uint64_t radioAddress = radios_[radio].first;
      accepted = !d.refusesPasskey && length == 6;
      for (ULONG i = 0; accepted && i < 6; ++i)
        accepted = static_cast<uint32_t>(passkey[i]) == ((radioAddress >> (8 * i)) & 0xFF);
    } else {
      accepted = d.acceptsWithoutPasskey;
    }
    if (!accepted) return ERROR_NOT_AUTHENTICATED;
    wasPresent = d.HidPresent();
    d.remembered = d.authenticated = d.connected = true;
  }
  Notify(address, wasPresent);
  return ERROR_SUCCESS;
}

DWORD BluetoothWorld::InstalledServices(uint64_t address, std::vector<GUID>& services) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = devices_.find(address);
  if (it == devices_.end() || !it->second.authenticated) return ERROR_NOT_FOUND;
  if (it->second.failsServiceListing) return ERROR_GEN_FAILURE;
  services.clear();
  if (it->second.hidServiceEnabled) services.push_back(kHidServiceClass);
  for (int i = 0; i < it->second.otherServices; ++i) services.push_back(kSerialPortServiceClass);
  return ERROR_SUCCESS;
}

DWORD BluetoothWorld::SetServiceState(uint64_t address, const GUID& service, bool enable) {
  bool wasPresent;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = devices_.find(address);
    if (it == devices_.end() || !it->second.authenticated) return ERROR_NOT_FOUND;
    BluetoothDeviceState& d = it->second;
    if (d.failsServiceEnable || !d.inRange) return ERROR_GEN_FAILURE;
    wasPresent = d.HidPresent();
    if (service == kHidServiceClass && enable && !d.hidServiceEnabled) {
      d.hidServiceEnabled = true;
      InstallHidLocked(address, d);
    } else if (service == kHidServiceClass && !enable) {
      d.hidServiceEnabled = d.hidInstalled = false;
    }
  }
  Notify(address, wasPresent);
  return ERROR_SUCCESS;
}

void BluetoothWorld::InstallHidLocked(uint64_t address, BluetoothDeviceState& device) {
  device.hidInstalled = device.hidArrivalMicros == 0;
  if (device.hidInstalled) return;
  uint64_t generation = generation_;
  installTimers_.push_back(ScheduleAt(NowMicros() + device.hidArrivalMicros,
                                      [this, address, generation] { OnHidInstalled(address, generation); }));
}

void BluetoothWorld::OnHidInstalled(uint64_t address, uint64_t generation) {
  bool wasPresent;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = devices_.find(address);
    if (generation != generation_ || it == devices_.end() || !it->second.hidServiceEnabled) return;
    wasPresent = it->second.HidPresent();
    it->second.hidInstalled = true;
  }
  Notify(address, wasPresent);
}

DWORD BluetoothWorld::Remove(uint64_t address) {
  bool wasPresent;
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = devices_.find(address);
    if (it == devices_.end() || !it->second.remembered) return ERROR_NOT_FOUND;
    BluetoothDeviceState& d = it->second;
    if (d.failsRemoval) return ERROR_GEN_FAILURE;
    wasPresent = d.HidPresent();
    d.remembered = d.authenticated = d.connected = d.hidServiceEnabled = d.hidInstalled = d.staleLinkKey = false;
  }
  Notify(address, wasPresent);
  return ERROR_SUCCESS;
}

}  // namespace sim
