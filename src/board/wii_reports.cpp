// The report exchanges of the Wii-remote protocol: a request written with the HID library's
// output-report call, then the reply read with the 500 ms wait of every read.
#include "board/wbalance_board.h"
#include "wii/wii_reports.h"

#include <cstring>
#include <functional>

namespace Kestrel {

namespace {

void PackAddress(uint8_t* report, uint32_t address) {
  report[1] = static_cast<uint8_t>(address >> 24);  // the address space
  report[2] = static_cast<uint8_t>(address >> 16);
  report[3] = static_cast<uint8_t>(address >> 8);
  report[4] = static_cast<uint8_t>(address);
}

bool IsDataReport(const uint8_t* report) { return report[0] >= kReportFirstData; }

// An acknowledgement names the request it answers in byte 3. One for another request is left over
// from an earlier exchange (a mode change answered by a report in the mode before its ack).
bool IsAckForOther(const uint8_t* report, int length, uint8_t request) {
  return report[0] == kReportAck && length > kAckRequestByte && report[kAckRequestByte] != request;
}

// A memory reply names the low 16 bits of the address it answers in bytes 4 and 5. One too short
// to name any is taken as this request's reply, garbled, so that the read is asked again.
bool AnswersMemoryRead(const uint8_t* reply, int length, uint32_t address) {
  if (reply[0] != kReportMemoryData) return false;
  if (length < kMemoryDataOffset) return true;
  return reply[kMemoryOffsetByte] == static_cast<uint8_t>(address >> 8) &&
         reply[kMemoryOffsetByte + 1] == static_cast<uint8_t>(address);
}

}  // namespace

uint32_t WBalanceBoard::AwaitReport(uint8_t* reply, int* length,
                                    const std::function<bool(const uint8_t*, int)>& wanted) {
  DWORD start = GetTickCount();
  for (;;) {
    *length = kWiiReportLength;
    uint32_t status = ReadInputReport(reply, length);
    if (status != 0) return status;
    if (wanted(reply, *length)) return 0;
    if (GetTickCount() - start >= kAwaitReportLimitMs) return kResultNoReply;
  }
}

uint32_t WBalanceBoard::SendOutputReport(uint8_t* report) {
  // Every step of an open notices a close: none begins once it has come.
  if (IsClosing()) return ERROR_OPERATION_ABORTED;
  return WriteReport(report, kWiiReportLength);
}

uint32_t WBalanceBoard::WaitForAck() {
  uint8_t reply[kWiiReportLength];
  int length = 0;
  // A remote sends a status report by itself when its extension's state changes, which the
  // initialisation writes do: that is no answer to the write.
  uint32_t status = AwaitReport(reply, &length, [](const uint8_t* r, int n) {
    return !IsDataReport(r) && r[0] != kReportStatus && !IsAckForOther(r, n, kReportWriteRegisters);
  });
  if (status != 0) return status;
  if (reply[0] != kReportAck || length < kAckMinLength) return kResultUnexpectedReply;
  uint8_t error = reply[kAckErrorByte];
  return error == 0 ? 0 : kResultAckErrorBase + error;
}

uint32_t WBalanceBoard::SetReportingMode(uint8_t mode, bool continuous) {
  uint8_t request[kWiiReportLength] = {kReportMode, continuous ? kContinuousReporting : uint8_t{0}, mode};
  uint8_t reply[kWiiReportLength];
  int length = 0;
  for (int attempt = 0;; ++attempt) {
    uint32_t status = SendOutputReport(request);
    if (status != 0) return status;
    // A status report ends a remote's reporting: one that comes while the mode takes effect
    // may have undone it, so the mode is sent again.
    status = AwaitReport(reply, &length, [mode](const uint8_t* r, int) { return r[0] == mode || r[0] == kReportStatus; });
    if (status != 0 || reply[0] == mode) return status;
    if (attempt + 1 >= kModeAttempts) return kResultNoReply;
  }
}

uint32_t WBalanceBoard::ReadMemory(uint32_t address, int length, uint8_t* destination, bool* copied) {
  if (copied) *copied = false;
  // One reply carries at most sixteen bytes; more would be copied from past its end.
  if (length < 1 || length > kMemoryReadMax) return ERROR_INVALID_PARAMETER;
  uint8_t request[kWiiReportLength] = {kReportReadMemory};
  PackAddress(request, address);
  request[5] = static_cast<uint8_t>(length >> 8);
  request[6] = static_cast<uint8_t>(length);
  uint32_t status = SendOutputReport(request);
  if (status != 0) return status;
  // A button press, a data report or a late reply to an earlier read may come first: taken as the
  // answer, they would shift every later read by one reply.
  uint8_t reply[kWiiReportLength];
  int received = 0;
  status = AwaitReport(reply, &received,
                       [address](const uint8_t* r, int n) { return AnswersMemoryRead(r, n, address); });
  if (status != 0) return status;
  if (received <= kMemorySizeErrorByte) return 0;  // garbled: not even its size and error came
  // An error reply carries zeros, which taken as data would be a calibration of nothing.
  uint8_t error = reply[kMemorySizeErrorByte] & kMemoryErrorMask;
  if (error != 0) return kResultAckErrorBase + error;
  bool whole = (reply[kMemorySizeErrorByte] >> 4) == length - 1 && received - kMemoryDataOffset >= length;
  if (whole) {
    std::memcpy(destination, reply + kMemoryDataOffset, static_cast<size_t>(length));
    if (copied) *copied = true;
  }
  return 0;
}

uint32_t WBalanceBoard::WriteRegister(uint32_t address, uint8_t value) {
  uint8_t request[kWiiReportLength] = {kReportWriteRegisters};
  PackAddress(request, address);
  request[5] = 1;  // one data byte
  request[6] = value;
  for (int attempt = 1;; ++attempt) {
    uint32_t status = SendOutputReport(request);
    if (status == 0) status = WaitForAck();
    // A remote busy with its extension's initialisation answers "busy" and takes the same
    // write a moment later.
    if (status != kResultBusy || attempt >= kBusyAttempts) return status;
    if (WaitForClose(kBusyPauseMs)) return ERROR_OPERATION_ABORTED;
  }
}

uint32_t WBalanceBoard::RequestStatus(int* battery, uint8_t* flags) {
  uint8_t request[kWiiReportLength] = {kReportStatusRequest};
  uint32_t status = SendOutputReport(request);
  if (status != 0) return status;
  // A button press during the open sends a data report, which is not the answer either.
  uint8_t reply[kWiiReportLength];
  int length = 0;
  status = AwaitReport(reply, &length, [](const uint8_t* r, int n) {
    return !IsDataReport(r) && !IsAckForOther(r, n, kReportStatusRequest);
  });
  if (status != 0) return status;
  if (reply[0] != kReportStatus || length < kStatusMinLength) return kResultUnexpectedReply;
  *flags = reply[kStatusFlagsByte];
  *battery = reply[kStatusBatteryByte] / 2;  // raw 0 to 255 halved, truncated
  return 0;
}

// Sent without the acknowledge bit: a board acknowledges an LED report only when asked, and
// nothing here needs to know.
uint32_t WBalanceBoard::SetLed(bool on) {
  ledOn.store(on, std::memory_order_release);
  uint8_t request[kWiiReportLength] = {kReportLeds, on ? kLedOne : kLedsOff};
  return SendOutputReport(request);
}

void WBalanceBoard::RequestLed(bool on) {
  uint8_t request[kWiiReportLength] = {kReportLeds, on ? kLedOne : kLedsOff};
  if (PostOutputReport(request)) ledOn.store(on, std::memory_order_release);
}

void WBalanceBoard::SwitchLedOffAfterOpen() {
  ledOn.store(false, std::memory_order_release);
  uint8_t request[kWiiReportLength] = {kReportLeds, kLedsOff};
  WriteReport(request, kWiiReportLength);
}

}  // namespace Kestrel
