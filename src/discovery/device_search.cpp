#include "discovery/device_search.h"

#include "board/wbalance_board.h"
#include "discovery/bluetooth_search.h"
#include "discovery/dev_reg_enum.h"
#include "discovery/hid_library.h"

#include <atomic>
#include <mutex>

namespace DeviceSearch {

namespace {

constexpr uint16_t kNintendoVendorId = 0x057E;
constexpr uint16_t kWiiRemoteProductId = 0x0306;

// FindDevice and CloseAll never run alongside another export, but the board address is also
// read by a device's destructor: keep it behind a lock like every shared string.
struct SearchState {
  std::unique_ptr<DevRegEnumHID> currentEnumerator;
  std::mutex addressLock;
  OrxString boardAddressText;
  std::atomic<bool> boardPaired{false};
  std::atomic<bool> radioMissing{false};
};

SearchState& State() {
  static SearchState* state = new SearchState;  // used by library detach, after static destructors
  return *state;
}

void RememberBoard(const OrxString& addressText) {
  SearchState& s = State();
  s.boardPaired.store(true);
  std::lock_guard<std::mutex> guard(s.addressLock);
  s.boardAddressText = addressText;
}

// The serial-number string of a Wii device is its Bluetooth address; either text may carry
// leading zeros the other lacks.
bool MatchesAddress(const OrxString& serial, const OrxString& address) {
  if (serial.IsEmpty()) return false;
  std::wstring s(serial.Chars(), serial.Length());
  std::wstring a(address.Chars(), address.Length());
  return a.find(s) != std::wstring::npos || s.find(a) != std::wstring::npos;
}

void RunBluetoothLayer() {
  SearchState& s = State();
  OrxString addressText;
  bool paired = SearchAndPairBoards(addressText);
  if (paired) RememberBoard(addressText);
  GUID hidClass;
  HidDllTable::Instance().HidD_GetHidGuid(&hidClass);
  s.currentEnumerator = std::make_unique<DevRegEnumHID>(hidClass);
  if (!paired) {
    bool radioMissing = false;
    if (FindRememberedBoard(addressText, radioMissing)) RememberBoard(addressText);
    if (radioMissing) s.radioMissing.store(true);
  }
}

}  // namespace

std::unique_ptr<Kestrel::DevOrxHID> FindNext() {
  SearchState& s = State();
  HidDllTable& hid = HidDllTable::Instance();
  if (!hid.Usable()) hid.Acquire();
  if (!hid.Usable()) return nullptr;

  if (!s.currentEnumerator) RunBluetoothLayer();
  for (;;) {
    bool more = s.currentEnumerator->Next();
    OrxString serial = s.currentEnumerator->GetSerialNumber();
    if (!more) {
      s.currentEnumerator.reset();
      return nullptr;
    }
    bool chosen = s.currentEnumerator->HasIds(kNintendoVendorId, kWiiRemoteProductId) &&
                  MatchesAddress(serial, BoardAddressText()) && s.boardPaired.load() &&
                  !Kestrel::DeviceRegistry::IsAlreadyOpen(serial);
    if (chosen) {
      HANDLE handle = s.currentEnumerator->GetHandle();
      return std::make_unique<Kestrel::WBalanceBoard>(handle, s.currentEnumerator->GetName(), serial);
    }
  }
}

void DestroyEnumerator() { State().currentEnumerator.reset(); }
bool HasEnumerator() { return State().currentEnumerator != nullptr; }

bool RadioMissing() { return State().radioMissing.load(); }
bool BoardPaired() { return State().boardPaired.load(); }

OrxString BoardAddressText() {
  SearchState& s = State();
  std::lock_guard<std::mutex> guard(s.addressLock);
  return s.boardAddressText;
}

void ResetForTesting() {
  SearchState& s = State();
  s.currentEnumerator.reset();
  s.boardPaired.store(false);
  s.radioMissing.store(false);
  std::lock_guard<std::mutex> guard(s.addressLock);
  s.boardAddressText = OrxString();
}

}  // namespace DeviceSearch
