// hid.dll of the simulated world: attributes and strings from the endpoint behind a device
// handle, output reports handed to it.
#include "sim/clock.h"
#include "sim/system_api/api_handles.h"

#include <cstring>

// Opaque to callers, as on Windows.
struct _HIDP_PREPARSED_DATA {
  uint32_t reportLength;
};

namespace {

using sim::kHidInterfaceClass;
// Larger string buffers are refused by the HID class driver.
constexpr ULONG kLargestStringBuffer = 4093;
constexpr DWORD kErrorInvalidFunction = 1;  // the device has no feature reports
constexpr uint32_t kOutputReportLength = 22;

std::shared_ptr<sim::HidDevice> EndpointOrFail(HANDLE device) {
  auto endpoint = sim::DeviceOfHandle(device);
  if (!endpoint) SetLastError(ERROR_INVALID_HANDLE);
  return endpoint;
}

// The whole string with its terminator, or nothing at all.
BOOLEAN CopyString(HANDLE device, std::wstring sim::HidIdentity::*field, PVOID buffer, ULONG length) {
  auto endpoint = EndpointOrFail(device);
  if (!endpoint) return FALSE;
  if (length > kLargestStringBuffer) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  std::wstring text = endpoint->Identity().*field;
  if (text.empty()) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  size_t bytes = (text.size() + 1) * sizeof(WCHAR);
  if (!buffer || bytes > length) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, text.c_str(), bytes);
  return TRUE;
}

}  // namespace

void NTAPI HidD_GetHidGuid(LPGUID HidGuid) {
  if (HidGuid) *HidGuid = kHidInterfaceClass;
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
  auto endpoint = EndpointOrFail(HidDeviceObject);
  if (!endpoint) return FALSE;
  if (!Attributes) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sim::HidIdentity identity = endpoint->Identity();
  Attributes->Size = sizeof(HIDD_ATTRIBUTES);
  Attributes->VendorID = identity.vendorId;
  Attributes->ProductID = identity.productId;
  Attributes->VersionNumber = identity.versionNumber;
  return TRUE;
}

BOOLEAN NTAPI HidD_GetProductString(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength) {
  return CopyString(HidDeviceObject, &sim::HidIdentity::product, Buffer, BufferLength);
}

BOOLEAN NTAPI HidD_GetManufacturerString(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength) {
  return CopyString(HidDeviceObject, &sim::HidIdentity::manufacturer, Buffer, BufferLength);
}

BOOLEAN NTAPI HidD_GetSerialNumberString(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength) {
  return CopyString(HidDeviceObject, &sim::HidIdentity::serialNumber, Buffer, BufferLength);
}

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
  if (!EndpointOrFail(HidDeviceObject)) return FALSE;
  if (!PreparsedData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *PreparsedData = new _HIDP_PREPARSED_DATA{kOutputReportLength};
  return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
  if (!PreparsedData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  delete PreparsedData;
  return TRUE;
}

BOOLEAN NTAPI HidD_SetFeature(HANDLE HidDeviceObject, PVOID, ULONG) {
  if (EndpointOrFail(HidDeviceObject)) SetLastError(kErrorInvalidFunction);
  return FALSE;
}

BOOLEAN NTAPI HidD_GetFeature(HANDLE HidDeviceObject, PVOID, ULONG) {
  if (EndpointOrFail(HidDeviceObject)) SetLastError(kErrorInvalidFunction);
  return FALSE;
}

BOOLEAN NTAPI HidD_SetOutputReport(HANDLE HidDeviceObject, PVOID ReportBuffer, ULONG ReportBufferLength) {
  auto endpoint = EndpointOrFail(HidDeviceObject);
  if (!endpoint) return FALSE;
  if (!ReportBuffer || ReportBufferLength == 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (uint64_t delay = endpoint->WriteDelay()) sim::SleepFor(delay);
  if (endpoint->IsDisconnected()) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  DWORD error = ERROR_GEN_FAILURE;
  if (!endpoint->OnOutputReport(static_cast<const uint8_t*>(ReportBuffer), ReportBufferLength, &error)) {
    SetLastError(error);
    return FALSE;
  }
  // As Wine's hid.dll leaves it: the report is written with overlapped I/O whose pending state
  // stays the last error. Win32 functions set the last error only when they fail.
  SetLastError(ERROR_IO_PENDING);
  return TRUE;
}
