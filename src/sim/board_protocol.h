// The Wii-remote report protocol as the simulated board speaks it: report ids, fields, flags.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {
namespace protocol {

inline const wchar_t kProductString[] = L"Nintendo RVL-WBC-01";
inline const wchar_t kManufacturerString[] = L"Nintendo";
constexpr uint16_t kVersionNumber = 0x0600;

// Output reports.
constexpr uint8_t kRumble = 0x10;
constexpr uint8_t kLeds = 0x11;
constexpr uint8_t kMode = 0x12;
constexpr uint8_t kStatusRequest = 0x15;
constexpr uint8_t kWriteMemory = 0x16;
constexpr uint8_t kReadMemory = 0x17;
constexpr uint8_t kIrEnable = 0x13;
constexpr uint8_t kSpeakerEnable = 0x14;
constexpr uint8_t kSpeakerData = 0x18;
constexpr uint8_t kSpeakerMute = 0x19;
constexpr uint8_t kIrEnable2 = 0x1A;
constexpr uint8_t kRumbleBit = 0x01;
// Byte 1 of the LED, mode and feature reports: acknowledge this report with 0x22. Without it a
// real remote sends no acknowledgement for them (writes are acknowledged always).
constexpr uint8_t kAckRequestBit = 0x02;
constexpr uint8_t kContinuousBit = 0x04;

// Input reports.
constexpr uint8_t kStatus = 0x20;
constexpr uint8_t kMemoryData = 0x21;
constexpr uint8_t kAck = 0x22;
constexpr uint8_t kPowerOnMode = 0x30;
constexpr uint8_t kExtensionOnlyMode = 0x3D;
// Not a mode a host can choose: after a status report the remote sends no data reports until it
// is told a mode again.
constexpr uint8_t kReportsOff = 0x00;
constexpr uint8_t kButtonBit = 0x08;  // the board's one button, in the second button byte
constexpr uint8_t kBatteryLowFlag = 0x01;
constexpr uint8_t kExtensionFlag = 0x02;
constexpr uint8_t kBatteryLowBelow = 0x20;
constexpr size_t kMemoryChunk = 16;
// A memory reply that carries an error says 16 bytes in its size nibble, with no data.
constexpr uint8_t kErrorReplySize = 0xF0;
constexpr size_t kMemoryDataOffset = 6;
constexpr size_t kWriteDataOffset = 6;
constexpr uint8_t kBoardTemperature = 0x19;

// Where a data report carries extension bytes; -1 when it carries none.
inline int ExtensionOffset(uint8_t mode) {
  switch (mode) {
    case 0x32:
    case 0x34: return 3;
    case 0x35: return 6;
    case 0x36: return 13;
    case 0x37: return 16;
    case kExtensionOnlyMode: return 1;
    default: return -1;
  }
}

// How many extension bytes a data report of this mode carries; the HID driver pads the rest of
// the 22 bytes with zeros.
inline size_t ExtensionBytes(uint8_t mode) {
  switch (mode) {
    case 0x32: return 8;
    case 0x34: return 19;
    case 0x35: return 16;
    case 0x36: return 9;
    case 0x37: return 6;
    case kExtensionOnlyMode: return 21;
    default: return 0;
  }
}

inline bool IsDataMode(uint8_t mode) { return (mode >= 0x30 && mode <= 0x37) || mode == kExtensionOnlyMode; }

}  // namespace protocol
}  // namespace sim
