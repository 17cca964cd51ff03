// The Wii-remote family's HID reports as the plug-in writes and parses them: ids, fields,
// register addresses and the result codes of the exchanges built on them.
#pragma once

#include <cstdint>

namespace Kestrel {

// Every report, input or output, counted with its id in byte 0.
constexpr int kWiiReportLength = 22;

// Output reports.
constexpr uint8_t kReportLeds = 0x11;
constexpr uint8_t kReportMode = 0x12;
constexpr uint8_t kReportStatusRequest = 0x15;
constexpr uint8_t kReportWriteRegisters = 0x16;
constexpr uint8_t kReportReadMemory = 0x17;
constexpr uint8_t kLedOne = 0x10;
constexpr uint8_t kLedsOff = 0x00;
constexpr uint8_t kContinuousReporting = 0x04;

// Input reports.
constexpr uint8_t kReportStatus = 0x20;
constexpr uint8_t kReportMemoryData = 0x21;
constexpr uint8_t kReportAck = 0x22;
constexpr uint8_t kReportFirstData = 0x30;  // this id and above carry data
constexpr uint8_t kReportButtons = 0x30;
constexpr uint8_t kReportButtonsExtension = 0x32;
constexpr int kStatusMinLength = 7;
constexpr int kStatusFlagsByte = 3;
constexpr int kStatusBatteryByte = 6;
constexpr uint8_t kStatusBatteryLow = 0x01;
constexpr uint8_t kStatusExtension = 0x02;
constexpr int kAckMinLength = 5;
constexpr int kAckRequestByte = 3;  // the id of the output report acknowledged
constexpr int kAckErrorByte = 4;
constexpr int kMemorySizeErrorByte = 3;  // high nibble: bytes carried less one; low nibble: the error
constexpr uint8_t kMemoryErrorMask = 0x0F;
constexpr uint8_t kRemoteBusy = 4;  // the error a remote answers with while it is still busy
constexpr int kMemoryOffsetByte = 4;  // and 5: the low 16 bits of the address answered, big-endian
constexpr int kMemoryDataOffset = 6;
constexpr int kMemoryReadMax = 16;  // data bytes one memory-data report carries
constexpr int kButtonByte = 2;
constexpr uint8_t kButtonBit = 0x08;

// Registers (top byte 0x04: the control registers; all lie in the extension's block).
constexpr uint32_t kRegisterExtensionInitFirst = 0x04A400F0;
constexpr uint8_t kExtensionInitFirstValue = 0x55;
constexpr uint32_t kRegisterExtensionInitSecond = 0x04A400FB;
constexpr uint8_t kExtensionInitSecondValue = 0x00;
constexpr uint32_t kRegisterExtensionType = 0x04A400FE;
constexpr uint32_t kRegisterCalibration = 0x04A40024;
constexpr uint32_t kRegisterCalibrationRest = 0x04A40034;

// Result codes of the exchanges besides 0 (success), 258 (no reply) and system errors.
constexpr uint32_t kResultUnexpectedReply = 0x5000;
constexpr uint32_t kResultAckErrorBase = 0x5100;  // plus the device's error code (acknowledgement or memory reply)
constexpr uint32_t kResultBusy = kResultAckErrorBase + kRemoteBusy;

// The longest a loop waiting for one particular report keeps reading other reports.
constexpr uint32_t kAwaitReportLimitMs = 2000;
// A request answered "busy" is sent again after a pause, this often in all.
constexpr int kBusyAttempts = 5;
constexpr uint32_t kBusyPauseMs = 50;
// A mode report is sent again when a status report undid it, this often in all.
constexpr int kModeAttempts = 3;

}  // namespace Kestrel
