// The search behind FindDevice: Bluetooth first, then the HID device interfaces.
#pragma once

#include "device/dev_orx_hid.h"

#include <memory>

namespace DeviceSearch {

// The next board not yet handed out, built but not opened; null when the search found nothing.
std::unique_ptr<Kestrel::DevOrxHID> FindNext();
// Forgets the enumeration, so the next FindNext starts a fresh search.
void DestroyEnumerator();
bool HasEnumerator();

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
