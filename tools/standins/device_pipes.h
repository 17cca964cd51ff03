// The world's HID devices served as message-mode named pipes inside a Windows process, so that
// the plug-in's own CreateFileW, overlapped ReadFile, CancelIo and GetOverlappedResult on a
// board are kernel32's.
#pragma once

#include "sim/hid_device.h"

#include <cstdint>
#include <memory>
#include <string>

namespace standins {

// The first byte of a request the stand-in hid.dll writes to a device handle: "which device is
// this?", followed by a four-byte token that the answer is filed under.
constexpr uint8_t kWhichDeviceRequest = 0xFF;
constexpr size_t kWhichDeviceRequestLength = 5;

std::wstring PipeNameFor(const std::wstring& devicePath);

// Starts serving every device the world registers from now on. Idempotent.
void ServeDevices();

// The device whose pipe received the request with this token, once it has; null after waitMs.
std::shared_ptr<sim::HidDevice> DeviceForToken(uint32_t token, uint32_t waitMs);

}  // namespace standins
