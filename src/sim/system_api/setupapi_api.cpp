// SETUPAPI.DLL of the simulated world: device information sets over the registered HID device
// paths, with the sizes, size queries and errors of Windows.
#include "sim/hid_device.h"
#include "sim/system_api/api_handles.h"

#include <cstddef>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace {

using sim::kHidInterfaceClass;
// {745A17A0-74D3-11D0-B6FE-00A0C90F57DA}, the HIDClass setup class
const GUID kHidSetupClass = {0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};
const wchar_t kHidSetupClassText[] = L"{745a17a0-74d3-11d0-b6fe-00a0c90f57da}";
const wchar_t kDeviceDescription[] = L"HID-compliant device";
const wchar_t kManufacturer[] = L"(Standard system devices)";
const wchar_t kClassName[] = L"HIDClass";
const wchar_t kEnumerator[] = L"HID";
constexpr DWORD kErrorNoSuchDevinst = 0xE000020Bu;

struct Device {
  std::wstring path;
  std::wstring instanceId;
  DWORD devInst;
};

class DeviceInfoSet : public sim::ApiObject {
 public:
  std::vector<Device> devices;
};

std::wstring Upper(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return text;
}

// What Windows derives from an interface path: \\?\hid#a#b#{class} names the device HID\A\B.
std::wstring InstanceIdOf(const std::wstring& path, size_t position) {
  std::wstring id = path;
  if (id.compare(0, 4, L"\\\\?\\") == 0 || id.compare(0, 4, L"\\\\.\\") == 0) id.erase(0, 4);
  size_t classPart = id.rfind(L"#{");
  if (classPart != std::wstring::npos) id.erase(classPart);
  if (id.find(L'#') == std::wstring::npos) return std::wstring(kEnumerator) + L"\\SIMULATED\\" + std::to_wstring(position);
  for (auto& c : id)
    if (c == L'#') c = L'\\';
  return Upper(id);
}

std::shared_ptr<DeviceInfoSet> SetOrFail(HDEVINFO set) {
  auto found = set == INVALID_HANDLE_VALUE ? nullptr : sim::LookUpApiHandleAs<DeviceInfoSet>(set);
  if (!found) SetLastError(ERROR_INVALID_HANDLE);
  return found;
}

// The device named by an SP_DEVINFO_DATA of this set.
const Device* DeviceOrFail(const DeviceInfoSet& set, PSP_DEVINFO_DATA data) {
  if (!data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return nullptr;
  }
  for (const auto& d : set.devices)
    if (d.devInst == data->DevInst) return &d;
  SetLastError(kErrorNoSuchDevinst);
  return nullptr;
}

void Describe(const Device& device, SP_DEVINFO_DATA* data) {
  data->ClassGuid = kHidSetupClass;
  data->DevInst = device.devInst;
  data->Reserved = 0;
}

// A size query or a copy of count elements: ERROR_INSUFFICIENT_BUFFER when room is short.
template <typename Unit>
BOOL CopyOut(const Unit* source, DWORD count, Unit* destination, DWORD room) {
  if (!destination && room != 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (room < count) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(destination, source, count * sizeof(Unit));
  return TRUE;
}

// A property as Windows stores it: its value type and its bytes with their terminators.
bool PropertyOf(const Device& device, DWORD property, DWORD* type, std::wstring* value) {
  *type = REG_SZ;
  switch (property) {
    case SPDRP_DEVICEDESC: *value = kDeviceDescription; break;
    case SPDRP_MFG: *value = kManufacturer; break;
    case SPDRP_CLASS: *value = kClassName; break;
    case SPDRP_CLASSGUID: *value = kHidSetupClassText; break;
    case SPDRP_ENUMERATOR_NAME: *value = kEnumerator; break;
    case SPDRP_HARDWAREID: {
      *type = REG_MULTI_SZ;
      *value = device.instanceId.substr(0, device.instanceId.rfind(L'\\'));
      value->push_back(L'\0');
      break;
    }
    default: return false;
  }
  return true;
}

}  // namespace

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags) {
  bool all = (Flags & DIGCF_ALLCLASSES) != 0;
  if (!ClassGuid && !all) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const GUID& hidClass = (Flags & DIGCF_DEVICEINTERFACE) ? kHidInterfaceClass : kHidSetupClass;
  auto set = std::make_shared<DeviceInfoSet>();
  if (all || *ClassGuid == hidClass) {
    std::vector<std::wstring> paths = sim::RegisteredHidDevicePaths();
    for (size_t i = 0; i < paths.size(); ++i) {
      Device device{sim::OpenablePathOf(paths[i]), InstanceIdOf(paths[i], i), static_cast<DWORD>(i + 1)};
      std::wstring enumerator = device.instanceId.substr(0, device.instanceId.find(L'\\'));
      if (Enumerator && Upper(Enumerator) != enumerator) continue;
      set->devices.push_back(device);
    }
  }
  return sim::AddApiHandle(set);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  if (!SetOrFail(DeviceInfoSet)) return FALSE;
  sim::CloseApiHandle(DeviceInfoSet);
  return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  auto set = SetOrFail(DeviceInfoSet);
  if (!set) return FALSE;
  if (!InterfaceClassGuid || !DeviceInterfaceData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  const Device* only = nullptr;
  if (DeviceInfoData && !(only = DeviceOrFail(*set, DeviceInfoData))) return FALSE;
  // Every simulated device has exactly one interface, of the HID class.
  DWORD seen = 0;
  for (const auto& device : set->devices) {
    if (*InterfaceClassGuid != kHidInterfaceClass || (only && &device != only)) continue;
    if (seen++ != MemberIndex) continue;
    DeviceInterfaceData->InterfaceClassGuid = kHidInterfaceClass;
    DeviceInterfaceData->Flags = SPINT_ACTIVE;
    DeviceInterfaceData->Reserved = device.devInst;
    return TRUE;
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return FALSE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                             DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA DeviceInfoData) {
  auto set = SetOrFail(DeviceInfoSet);
  if (!set) return FALSE;
  if (!DeviceInterfaceData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
      (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) ||
      (DeviceInterfaceDetailData && DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) ||
      (!DeviceInterfaceDetailData && DeviceInterfaceDetailDataSize != 0)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  const Device* device = nullptr;
  for (const auto& d : set->devices)
    if (d.devInst == DeviceInterfaceData->Reserved) device = &d;
  if (!device) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  constexpr DWORD kFixedPart = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  DWORD needed = kFixedPart + static_cast<DWORD>((device->path.size() + 1) * sizeof(WCHAR));
  if (RequiredSize) *RequiredSize = needed;
  if (DeviceInfoData) Describe(*device, DeviceInfoData);
  if (!DeviceInterfaceDetailData || DeviceInterfaceDetailDataSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(DeviceInterfaceDetailData->DevicePath, device->path.c_str(), (device->path.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, PWSTR DeviceInstanceId,
                                        DWORD DeviceInstanceIdSize, PDWORD RequiredSize) {
  auto set = SetOrFail(DeviceInfoSet);
  if (!set) return FALSE;
  const Device* device = DeviceOrFail(*set, DeviceInfoData);
  if (!device) return FALSE;
  DWORD needed = static_cast<DWORD>(device->instanceId.size() + 1);
  if (RequiredSize) *RequiredSize = needed;
  return CopyOut(device->instanceId.c_str(), needed, DeviceInstanceId, DeviceInstanceIdSize);
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
  auto set = SetOrFail(DeviceInfoSet);
  if (!set) return FALSE;
  const Device* device = DeviceOrFail(*set, DeviceInfoData);
  if (!device) return FALSE;
  DWORD type = REG_NONE;
  std::wstring value;
  if (!PropertyOf(*device, Property, &type, &value)) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  DWORD needed = static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR));
  if (PropertyRegDataType) *PropertyRegDataType = type;
  if (RequiredSize) *RequiredSize = needed;
  return CopyOut(reinterpret_cast<const BYTE*>(value.c_str()), needed, PropertyBuffer, PropertyBufferSize);
}
