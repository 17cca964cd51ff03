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
  // After the stop the reader never calls this object's operations again, ended or not.
  StopReader();
}

void WBalanceBoard::StopReader() {
  // The reader switches the LED off as it ends: a write can block for seconds on a dying link,
  // and a close must not. A reader that ended already belongs to a lost board.
  if (!StopWasRequested() && !ReaderHasEnded(0)) RequestLed(false);
  WiiOrxHID::StopReader();
}

int WBalanceBoard::GetLastErrorMsg(char* buffer) { return ReadLastErrorMessage(buffer); }

int WBalanceBoard::InputReportLength() { return kWiiReportLength; }

int WBalanceBoard::ChannelCount() { return kBoardChannelCount; }

}  // namespace Kestrel
