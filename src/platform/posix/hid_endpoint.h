// The POSIX layer's view of the simulated world's HID devices: what CreateFileW opens on a
// device path, and the device behind an open handle. The devices themselves are the model's.
#pragma once

#include "platform/win32.h"
#include "sim/hid_device.h"

#include <memory>

namespace posix {

using HidEndpoint = sim::HidDevice;

// NTSTATUS values a completed read carries in OVERLAPPED::Internal.
constexpr ULONG_PTR kStatusCancelled = sim::kStatusCancelled;
constexpr ULONG_PTR kStatusDeviceNotConnected = sim::kStatusDeviceNotConnected;

// The device behind an open device handle, or null.
std::shared_ptr<HidEndpoint> EndpointOf(HANDLE file);

}  // namespace posix
