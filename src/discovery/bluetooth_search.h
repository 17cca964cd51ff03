// The Bluetooth layer of the device search: find boards in range, pair the new ones, make sure
// a remembered one has its HID service.
#pragma once

#include "support/orx_string.h"

namespace DeviceSearch {

// Searches all radios for up to five seconds, pairing boards the system does not remember yet.
// True when a board was remembered already or at least one was paired.
bool SearchAndPairBoards(OrxString& addressText);
// One search over all radios; pairs a board found unauthenticated and enables the HID service of
// a connected one that has none. Sets radioMissing when there is no radio. Returns the outcome
// for the last radio searched.
bool FindRememberedBoard(OrxString& addressText, bool& radioMissing);

}  // namespace DeviceSearch
