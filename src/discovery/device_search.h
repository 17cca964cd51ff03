// The search behind FindDevice: Bluetooth first, then the HID device interfaces.
#pragma once

#include "device/dev_orx_hid.h"

#include <memory>

namespace DeviceSearch {

// The next board not yet handed out, built but not opened; null when the search found nothing or
// was stopped. One search at a time: a second waits for the first.
std::unique_ptr<Kestrel::DevOrxHID> FindNext();
bool HasEnumerator();

// While one lives, no search runs: a running one is asked to stop (it does at its next step or
// pause, within the Bluetooth call it is in) and waited for. Then the enumeration can be forgotten,
// so the next FindNext starts a fresh search.
class SearchHold {
 public:
  SearchHold();
  ~SearchHold();
  SearchHold(const SearchHold&) = delete;
  SearchHold& operator=(const SearchHold&) = delete;
  void DestroyEnumerator();
};

// A pause of the search that a SearchHold cuts short: false when the search must stop.
bool Pause(DWORD ms);
bool Stopped();

// What the search saw, for the plug-in-level message. Set by the search, never cleared.
bool RadioMissing();
bool BoardPaired();
// The address of the board the last successful Bluetooth search found, as FormatBluetoothAddress
// writes it; empty before.
OrxString BoardAddressText();
// Whether a device that has not failed holds the board with this address.
bool IsBoardOpen(const OrxString& addressText);

// For tests only: as if the plug-in had just been loaded.
void ResetForTesting();

}  // namespace DeviceSearch
