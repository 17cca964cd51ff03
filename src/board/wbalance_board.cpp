#include "board/wbalance_board.h"

#include "wii/wii_reports.h"

namespace Kestrel {

namespace {
constexpr int kBoardChannelCount = 4;
}  // namespace

WBalanceBoard::WBalanceBoard(HANDLE hid, const OrxString& deviceName, const OrxString& serial)
    : WiiOrxHID(hid, deviceName, serial) {
  isBalanceBoard = true;
  sampling.store(false);
  lastReportTime = 0;
}

WBalanceBoard::~WBalanceBoard() {
  StopReader();
  // The LED exchange reads with readEvent: only once no reader thread can be reading too.
  if (ReaderHasEnded()) SetLed(false);
}

bool WBalanceBoard::ReaderHasEnded() {
  return readerThread == nullptr || WaitForSingleObject(readerThread, 0) == WAIT_OBJECT_0;
}

int WBalanceBoard::GetLastErrorMsg(char* buffer) { return ReadLastErrorMessage(buffer); }

void WBalanceBoard::StartSampling() {}

void WBalanceBoard::StopSampling() {}

bool WBalanceBoard::OnInputReport(const uint8_t*, int, int64_t) { return false; }

int WBalanceBoard::InputReportLength() { return kWiiReportLength; }

int WBalanceBoard::ChannelCount() { return kBoardChannelCount; }

bool WBalanceBoard::ChannelCommand(int, const char*) { return false; }

bool WBalanceBoard::SamplerCommand(const char*) { return false; }

bool WBalanceBoard::DeviceCommand(const char*) { return false; }

}  // namespace Kestrel
