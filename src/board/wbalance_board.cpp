#include "board/wbalance_board.h"

#include "wii/wii_reports.h"

namespace Kestrel {

WBalanceBoard::WBalanceBoard(HANDLE hid, const OrxString& deviceName, const OrxString& serial)
    : WiiOrxHID(hid, deviceName, serial) {
  isBalanceBoard = true;
  sampling.store(false);
  lastReportTime = 0;
}

WBalanceBoard::~WBalanceBoard() {
  // After the close the reader never calls this object's operations again, ended or not.
  CloseDevice();
}

// The reader switches the LED off as it ends: a write can block for seconds on a dying link, and
// a close must not. Posted and sealed at once: a report handled meanwhile that finds LED 1 dark
// and asks for it again is either sent before it or not at all.
void WBalanceBoard::PrepareLastWords() {
  ledOn.store(false, std::memory_order_release);
  uint8_t request[kWiiReportLength] = {kReportLeds, kLedsOff};
  PostLastOutputReport(request);
}

int WBalanceBoard::GetLastErrorMsg(char* buffer) { return ReadLastErrorMessage(buffer); }

int WBalanceBoard::InputReportLength() { return kWiiReportLength; }

int WBalanceBoard::ChannelCount() { return kBoardChannelCount; }

}  // namespace Kestrel
