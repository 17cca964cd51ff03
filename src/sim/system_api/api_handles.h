// What the system API functions of the simulated world need from the face they run behind:
// handles for their objects (kernel handles, so that leak checks and CloseHandle see them) and
// the HID device behind an open device handle.
#pragma once

#include "platform/win32.h"
#include "sim/hid_device.h"

#include <memory>

namespace sim {

// An object behind a handle that a system API function hands out.
class ApiObject {
 public:
  virtual ~ApiObject() = default;
};

HANDLE AddApiHandle(std::shared_ptr<ApiObject> object);
std::shared_ptr<ApiObject> LookUpApiHandle(HANDLE handle);
template <typename T>
std::shared_ptr<T> LookUpApiHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookUpApiHandle(handle));
}
// Closes a handle of AddApiHandle's; false when it is not one.
bool CloseApiHandle(HANDLE handle);

// The device an open device handle reads from, or null.
std::shared_ptr<HidDevice> DeviceOfHandle(HANDLE file);
// The path that CreateFileW opens for the device the world lists under devicePath.
std::wstring OpenablePathOf(const std::wstring& devicePath);

}  // namespace sim
