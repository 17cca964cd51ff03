#include "discovery/device_search.h"

#include "board/wbalance_board.h"
#include "discovery/bluetooth_search.h"
#include "discovery/dev_reg_enum.h"
#include "discovery/hid_library.h"
#include "wii/bluetooth_pairing.h"

#include <atomic>
#include <cwctype>
#include <mutex>
#include <string>

namespace DeviceSearch {

namespace {

constexpr uint16_t kNintendoVendorId = 0x057E;
constexpr uint16_t kWiiRemoteProductId = 0x0306;
// How long after enabling a board's HID service the search looks for its HID device, and how
// often; how long a remembered board that did not connect gets before it counts as stale.
constexpr DWORD kHidArrivalLimitMs = 10000;
constexpr DWORD kHidLookIntervalMs = 250;
constexpr DWORD kReconnectGraceMs = 2000;

// The host may call FindDevice and CloseAll on any of its threads: one search at a time, and no
// search while CloseAll forgets the enumeration (searchLock, held for the whole search). The board
// address is also read by a device's close: it has a lock of its own.
struct SearchState {
  std::mutex searchLock;
  HANDLE stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual-reset: a hold wants the lock
  // Holds still waiting for the lock: the stop stands until the last of them has it, or a search
  // would start afresh under another hold's wait. Guards the count and the event's reset.
  std::mutex holdLock;
  int holdsWaiting = 0;
  std::unique_ptr<DevRegEnumHID> currentEnumerator;  // guarded by searchLock
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
// leading zeros the other lacks, and stacks write the hexadecimal digits in either case.
bool MatchesAddress(const OrxString& serial, const OrxString& address) {
  if (serial.IsEmpty()) return false;
  auto lower = [](const OrxString& text) {
    std::wstring folded(text.Chars(), text.Length());
    for (auto& c : folded) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return folded;
  };
  std::wstring s = lower(serial), a = lower(address);
  return a.find(s) != std::wstring::npos || s.find(a) != std::wstring::npos;
}

GUID HidInterfaceClass() {
  GUID hidClass;
  HidDllTable::Instance().HidD_GetHidGuid(&hidClass);
  return hidClass;
}

// Whether the system lists the HID device of the board with this address now.
bool BoardHidListed(const OrxString& addressText) {
  DevRegEnumHID devices(HidInterfaceClass());
  while (devices.Next()) {
    if (devices.HasIds(kNintendoVendorId, kWiiRemoteProductId) && MatchesAddress(devices.GetSerialNumber(), addressText))
      return true;
  }
  return false;
}

bool AwaitBoardHid(const OrxString& addressText, DWORD limitMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (BoardHidListed(addressText)) return true;
    if (GetTickCount() - start >= limitMs || !Pause(kHidLookIntervalMs)) return false;
  }
}

// Windows installs a board's HID device through plug and play seconds after its HID service is
// enabled. A remembered board that an inquiry sees but that does not connect was most likely
// synced with another host since: its link key is stale, and only pairing it again helps.
void AwaitBoardHid(const DeviceSearch::BoardSighting& sighting) {
  if (!sighting.serviceEnabled && !sighting.seenUnconnected) return;  // connected already
  DWORD limit = sighting.serviceEnabled ? kHidArrivalLimitMs : kReconnectGraceMs;
  if (AwaitBoardHid(sighting.addressText, limit) || sighting.serviceEnabled) return;
  if (Kestrel::PairBoardAgain(sighting.addressText)) AwaitBoardHid(sighting.addressText, kHidArrivalLimitMs);
}

void RunBluetoothLayer() {
  SearchState& s = State();
  BoardSighting sighting;
  bool paired = SearchAndPairBoards(sighting);
  // A stopped search asks nothing more: another inquiry would hold the close up for its length.
  if (!paired && !Stopped()) {
    bool radioMissing = false;
    paired = FindRememberedBoard(sighting, radioMissing);
    if (radioMissing) s.radioMissing.store(true);
  }
  if (paired) {
    RememberBoard(sighting.addressText);
    AwaitBoardHid(sighting);
  }
  // Listed after the wait, so that the enumeration sees a HID device that has just arrived.
  if (!Stopped()) s.currentEnumerator = std::make_unique<DevRegEnumHID>(HidInterfaceClass());
}

}  // namespace

std::unique_ptr<Kestrel::DevOrxHID> FindNext() {
  SearchState& s = State();
  std::lock_guard<std::mutex> searching(s.searchLock);
  HidDllTable& hid = HidDllTable::Instance();
  if (!hid.Usable()) hid.Acquire();
  if (!hid.Usable()) return nullptr;

  if (!s.currentEnumerator) RunBluetoothLayer();
  if (!s.currentEnumerator) return nullptr;  // stopped by a hold
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

bool IsBoardOpen(const OrxString& addressText) {
  for (const OrxString& serial : Kestrel::DeviceRegistry::SerialsInUse())
    if (MatchesAddress(serial, addressText)) return true;
  return false;
}

bool HasEnumerator() {
  SearchState& s = State();
  std::lock_guard<std::mutex> searching(s.searchLock);
  return s.currentEnumerator != nullptr;
}

SearchHold::SearchHold() {
  SearchState& s = State();
  {
    std::lock_guard<std::mutex> guard(s.holdLock);
    ++s.holdsWaiting;
    SetEvent(s.stopEvent);
  }
  s.searchLock.lock();
  std::lock_guard<std::mutex> guard(s.holdLock);
  if (--s.holdsWaiting == 0) ResetEvent(s.stopEvent);
}

SearchHold::~SearchHold() { State().searchLock.unlock(); }

void SearchHold::DestroyEnumerator() { State().currentEnumerator.reset(); }

bool Pause(DWORD ms) { return WaitForSingleObject(State().stopEvent, ms) != WAIT_OBJECT_0; }
bool Stopped() { return !Pause(0); }

bool RadioMissing() { return State().radioMissing.load(); }
bool BoardPaired() { return State().boardPaired.load(); }

OrxString BoardAddressText() {
  SearchState& s = State();
  std::lock_guard<std::mutex> guard(s.addressLock);
  return s.boardAddressText;
}

void ResetForTesting() {
  SearchState& s = State();
  SearchHold hold;
  hold.DestroyEnumerator();
  s.boardPaired.store(false);
  s.radioMissing.store(false);
  std::lock_guard<std::mutex> guard(s.addressLock);
  s.boardAddressText = OrxString();
}

}  // namespace DeviceSearch
