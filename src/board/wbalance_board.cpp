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
  // The LED exchange reads with readEvent: only once no reader thread can be reading too. A
  // reader still busy belongs to a board that is lost or stuck, which would not answer anyway.
  if (ReaderHasEnded(0)) SetLed(false);
}

int WBalanceBoard::GetLastErrorMsg(char* buffer) { return ReadLastErrorMessage(buffer); }

int WBalanceBoard::InputReportLength() { return kWiiReportLength; }

int WBalanceBoard::ChannelCount() { return kBoardChannelCount; }

}  // namespace Kestrel
