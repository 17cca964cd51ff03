// The simulated board's controls for the world and what a test can observe of it.
#include "sim/balance_board.h"

#include "sim/board_protocol.h"

#include <algorithm>

namespace sim {

using namespace protocol;

// --- the world's controls ---------------------------------------------------------------------

void BalanceBoard::SetLoadModel(std::shared_ptr<const LoadModel> model) {
  std::lock_guard<std::mutex> guard(stateLock_);
  load_ = std::move(model);
}

void BalanceBoard::SetButton(bool pressed) {
  std::lock_guard<std::mutex> guard(stateLock_);
  if (button_ == pressed) return;
  button_ = pressed;
  // Without continuous reporting a remote reports when its buttons change (unless a status
  // report switched its reports off).
  if (powered_ && !continuous_ && IsDataMode(mode_)) SendLocked(DataReportLocked(mode_));
}

void BalanceBoard::SetBatteryLevel(uint8_t level) {
  std::lock_guard<std::mutex> guard(stateLock_);
  batteryLevel_ = level;
}

void BalanceBoard::SetBatteriesFailing(bool failing) {
  std::lock_guard<std::mutex> guard(stateLock_);
  batteriesFailing_ = failing;
}

void BalanceBoard::SetReportInterval(uint64_t intervalMicros, uint64_t jitterMicros) {
  std::lock_guard<std::mutex> guard(stateLock_);
  settings_.reportIntervalMicros = std::max<uint64_t>(intervalMicros, 1);
  settings_.reportJitterMicros = std::min(jitterMicros, settings_.reportIntervalMicros - 1);
}

void BalanceBoard::ArmFault(uint8_t outputReportId, const ReplyFault& fault) {
  std::lock_guard<std::mutex> guard(stateLock_);
  faults_.emplace_back(outputReportId, fault);
}

void BalanceBoard::PowerOff() {
  std::lock_guard<std::mutex> guard(stateLock_);
  if (!powered_) return;
  powered_ = false;
  PowerOnStateLocked();
  Disconnect(ERROR_DEVICE_NOT_CONNECTED, kStatusDeviceNotConnected);
}

void BalanceBoard::PowerOn() {
  std::lock_guard<std::mutex> guard(stateLock_);
  silent_ = false;
  if (powered_) return;
  PowerOnStateLocked();
  powered_ = true;
  poweredOnAt_ = NowMicros();
  Reconnect();
}

void BalanceBoard::GoSilent() {
  std::lock_guard<std::mutex> guard(stateLock_);
  silent_ = true;
}

void BalanceBoard::SendStatusReport() {
  std::lock_guard<std::mutex> guard(stateLock_);
  if (powered_) SendLocked(ExtraReportLocked(kStatus));
}

// --- what a test observes ---------------------------------------------------------------------

std::vector<std::vector<uint8_t>> BalanceBoard::OutputReports() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return outputs_;
}

uint8_t BalanceBoard::ReportingMode() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return mode_;
}

bool BalanceBoard::ContinuousReporting() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return continuous_;
}

uint8_t BalanceBoard::Leds() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return leds_;
}

bool BalanceBoard::ExtensionReady() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return registers_.ExtensionReady();
}

bool BalanceBoard::PoweredOn() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return powered_;
}

bool BalanceBoard::Silent() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return silent_;
}

int BalanceBoard::DataReportsSent() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return dataReportsSent_;
}

std::array<uint16_t, kSensorCount> BalanceBoard::SensorReadings() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return SensorReadingsLocked();
}

}  // namespace sim
