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
  StopReader();
  // The reader calls this object's virtual operations: once this body ends they are the bases'
  // (pure) ones. A straggler gets a longer, still bounded, wait.
  bool ended = ReaderHasEnded(kReaderFinalWaitMs);
  // The LED exchange reads with readEvent: only once no reader thread can be reading too.
  if (ended) SetLed(false);
}

bool WBalanceBoard::ReaderHasEnded(DWORD waitMs) {
  return readerThread == nullptr || WaitForSingleObject(readerThread, waitMs) == WAIT_OBJECT_0;
}

int WBalanceBoard::GetLastErrorMsg(char* buffer) { return ReadLastErrorMessage(buffer); }

int WBalanceBoard::InputReportLength() { return kWiiReportLength; }

int WBalanceBoard::ChannelCount() { return kBoardChannelCount; }

}  // namespace Kestrel
