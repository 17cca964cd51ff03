// WBalanceBoard: one Wii Balance Board, opened as a four-channel instrument.
#pragma once

#include "wii/wii_orx_hid.h"

#include <atomic>
#include <cstdint>

namespace Kestrel {

class WBalanceBoard : public WiiOrxHID {
 public:
  WBalanceBoard(HANDLE hid, const OrxString& deviceName, const OrxString& serial);
  ~WBalanceBoard() override;

  int GetLastErrorMsg(char* buffer) override;
  void StartSampling() override;
  void StopSampling() override;
  bool OnInputReport(const uint8_t* report, int length, int64_t timestamp) override;
  int InputReportLength() override;
  int ChannelCount() override;
  bool ChannelCommand(int channel, const char* arguments) override;
  bool SamplerCommand(const char* arguments) override;
  bool DeviceCommand(const char* arguments) override;

 protected:
  // The report exchanges (wii_reports.cpp). Each returns 0, 258 when the awaited report did not
  // come, 0x5000 for an unexpected reply, 0x5100 plus the device's error code, or the system's
  // error of the write or the status of the read. They share readEvent: never on two threads.

  // Writes a 22-byte output report; the system's last-error value after the write is the result.
  uint32_t SendOutputReport(uint8_t* report);
  // Reads until the first report that is not a data report, which must be an acknowledgement.
  uint32_t WaitForAck();
  // Sends the mode and reads until the first report in that mode.
  uint32_t SetReportingMode(uint8_t mode, bool continuous);
  // Reads length (1 to 16) bytes at address. The destination is written only when a full
  // memory-data reply arrives, otherwise left as it was: callers zero it first.
  uint32_t ReadMemory(uint32_t address, int length, uint8_t* destination);
  uint32_t WriteRegister(uint32_t address, uint8_t value);
  // battery: 0 to 127; flags: bit 0 batteries nearly empty, bit 1 extension connected.
  uint32_t RequestStatus(int* battery, uint8_t* flags);
  // Lights or darkens LED 1 and takes one report (its acknowledgement) out of the stream.
  void SetLed(bool on);

  // What the board was last told about LED 1; the reader thread reads it.
  std::atomic<bool> ledOn{true};

 private:
  bool ReaderHasEnded();
};

}  // namespace Kestrel
