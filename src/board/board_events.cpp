// The board's button, batteries and status: LED 1 toggled while idle, a run ended by the button
// or by flat batteries, continuous reporting asked for again after a status report.
#include "board/wbalance_board.h"

#include "wii/wii_reports.h"

namespace Kestrel {

bool WBalanceBoard::OnIdleReport(const uint8_t* report) {
  if (report[0] != kReportButtonsExtension || !(report[kButtonByte] & kButtonBit)) return false;
  // Held down, the button keeps reporting: blink rather than flicker.
  if (GetTickCount() - eventTick.load(std::memory_order_relaxed) <= kButtonToggleMs) return false;
  RequestLed(!ledOn.load(std::memory_order_acquire));
  eventTick.store(GetTickCount(), std::memory_order_relaxed);
  abortPending.store(false, std::memory_order_release);
  return true;
}

// A remote sends a status report by itself when its extension changes, and stops reporting
// continuously after any status report: without the mode again, the board would fall silent.
void WBalanceBoard::OnStatusReport() { AskForContinuousReports(); }

void WBalanceBoard::AskForContinuousReports() {
  if (!reportsContinuously.load(std::memory_order_acquire)) return;
  uint8_t request[kWiiReportLength] = {kReportMode, kContinuousReporting, kReportButtonsExtension};
  PostOutputReport(request);
}

void WBalanceBoard::StopByButton() {
  // Reports meanwhile stay unread; the reader waits outside its gate, so a close need not.
  stoppedByButton.store(true, std::memory_order_release);
  PauseReaderThenAbort(kButtonStopSleepMs, kAbortUserButton);
}

void WBalanceBoard::StopForBatteries() {
  batteryLow.store(true, std::memory_order_release);
  RaiseAbort(kAbortBatteries);
}

}  // namespace Kestrel
