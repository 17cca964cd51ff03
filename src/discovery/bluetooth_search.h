// The Bluetooth layer of the device search: find boards in range, pair the new ones, make sure
// a remembered one has its HID service.
#pragma once

#include "support/orx_string.h"

namespace DeviceSearch {

// What the Bluetooth layer learnt of the board it settled on.
struct BoardSighting {
  OrxString addressText;
  // This search paired the board or enabled its HID service: the system installs its HID device
  // some seconds later.
  bool serviceEnabled = false;
  // Remembered, seen by this search's inquiry, yet not connected: a board that connects by itself
  // within moments, or one whose pairing went stale when it was synced with another host.
  bool seenUnconnected = false;
};

// Searches all radios for up to five seconds, pairing boards the system does not remember yet.
// True when a board was remembered already or at least one was paired.
bool SearchAndPairBoards(BoardSighting& sighting);
// One search over all radios; pairs a board found unauthenticated and enables the HID service of
// a connected one that has none. Sets radioMissing when there is no radio. Returns the outcome
// for the last radio searched.
bool FindRememberedBoard(BoardSighting& sighting, bool& radioMissing);

}  // namespace DeviceSearch
