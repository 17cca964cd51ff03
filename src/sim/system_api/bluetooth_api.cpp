// The Bluetooth API over the simulated Bluetooth stack. Radio handles and searches are kernel
// handles, so leak checks count them.
#include "sim/bluetooth_world.h"
#include "sim/system_api/api_handles.h"
#include "sim/world.h"

#include <cwchar>

namespace {

using sim::BluetoothDeviceState;
using sim::BluetoothWorld;

struct Radio : sim::ApiObject {
  explicit Radio(size_t i) : index(i) {}
  size_t index;
};

struct RadioSearch : sim::ApiObject {
  size_t next = 1;
};

struct DeviceSearch : sim::ApiObject {
  std::vector<BluetoothDeviceState> devices;
  size_t next = 1;
};

BluetoothWorld& World() { return BluetoothWorld::Instance(); }

void Fill(const BluetoothDeviceState& device, BLUETOOTH_DEVICE_INFO* info) {
  info->Address.ullLong = device.address;
  info->ulClassofDevice = device.classOfDevice;
  info->fConnected = device.connected;
  info->fRemembered = device.remembered;
  info->fAuthenticated = device.authenticated;
  info->stLastSeen = device.lastSeen;
  info->stLastUsed = SYSTEMTIME{};
  size_t n = std::min<size_t>(device.name.size(), BLUETOOTH_MAX_NAME_SIZE - 1);
  std::wmemcpy(info->szName, device.name.c_str(), n);
  info->szName[n] = 0;
}

HANDLE NewRadioHandle(size_t index) { return sim::AddApiHandle(std::make_shared<Radio>(index)); }

bool RadioIndex(HANDLE radio, size_t& index) {
  auto object = sim::LookUpApiHandleAs<Radio>(radio);
  if (!object) return false;
  index = object->index;
  return true;
}

}  // namespace

HBLUETOOTH_RADIO_FIND WINAPI BluetoothFindFirstRadio(BLUETOOTH_FIND_RADIO_PARAMS* params, HANDLE* radio) {
  sim::World::Instance().EnsureBuilt();  // the first look at the radios finds the world in place
  World().RecordCall("BluetoothFindFirstRadio");
  if (!params || params->dwSize != sizeof(BLUETOOTH_FIND_RADIO_PARAMS) || !radio) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (World().RadioAddresses().empty()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
  }
  *radio = NewRadioHandle(0);
  return sim::AddApiHandle(std::make_shared<RadioSearch>());
}

BOOL WINAPI BluetoothFindNextRadio(HBLUETOOTH_RADIO_FIND find, HANDLE* radio) {
  World().RecordCall("BluetoothFindNextRadio");
  auto search = sim::LookUpApiHandleAs<RadioSearch>(find);
  if (!search || !radio) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (search->next >= World().RadioAddresses().size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  *radio = NewRadioHandle(search->next++);
  return TRUE;
}

BOOL WINAPI BluetoothFindRadioClose(HBLUETOOTH_RADIO_FIND find) {
  World().RecordCall("BluetoothFindRadioClose");
  if (!sim::LookUpApiHandleAs<RadioSearch>(find)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return sim::CloseApiHandle(find);
}

DWORD WINAPI BluetoothGetRadioInfo(HANDLE radio, PBLUETOOTH_RADIO_INFO info) {
  World().RecordCall("BluetoothGetRadioInfo");
  size_t index = 0;
  if (!RadioIndex(radio, index)) return ERROR_INVALID_HANDLE;
  if (!info) return ERROR_INVALID_PARAMETER;
  if (info->dwSize != sizeof(BLUETOOTH_RADIO_INFO)) return ERROR_REVISION_MISMATCH;
  std::vector<uint64_t> addresses = World().RadioAddresses();
  if (index >= addresses.size()) return ERROR_DEVICE_NOT_AVAILABLE;
  info->address.ullLong = addresses[index];
  std::wstring name = World().RadioName(index);
  size_t n = std::min<size_t>(name.size(), BLUETOOTH_MAX_NAME_SIZE - 1);
  std::wmemcpy(info->szName, name.c_str(), n);
  info->szName[n] = 0;
  info->ulClassofDevice = 0x20010C;
  info->lmpSubversion = 0;
  info->manufacturer = 0;
  return ERROR_SUCCESS;
}

HBLUETOOTH_DEVICE_FIND WINAPI BluetoothFindFirstDevice(BLUETOOTH_DEVICE_SEARCH_PARAMS* params,
                                                BLUETOOTH_DEVICE_INFO* info) {
  World().RecordCall("BluetoothFindFirstDevice");
  size_t radio = 0;
  if (!params || params->dwSize != sizeof(BLUETOOTH_DEVICE_SEARCH_PARAMS) || !info ||
      info->dwSize != sizeof(BLUETOOTH_DEVICE_INFO) || params->cTimeoutMultiplier > 48 ||
      !RadioIndex(params->hRadio, radio)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // An inquiry takes its time, as on a real radio.
  if (params->fIssueInquiry) Sleep(params->cTimeoutMultiplier * sim::kInquiryUnitMs);
  auto search = std::make_shared<DeviceSearch>();
  search->devices = World().Search(params->fReturnAuthenticated, params->fReturnRemembered, params->fReturnUnknown,
                                   params->fReturnConnected, params->fIssueInquiry);
  if (search->devices.empty()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
  }
  Fill(search->devices.front(), info);
  return sim::AddApiHandle(search);
}

BOOL WINAPI BluetoothFindNextDevice(HBLUETOOTH_DEVICE_FIND find, BLUETOOTH_DEVICE_INFO* info) {
  World().RecordCall("BluetoothFindNextDevice");
  auto search = sim::LookUpApiHandleAs<DeviceSearch>(find);
  if (!search || !info) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (search->next >= search->devices.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  Fill(search->devices[search->next++], info);
  return TRUE;
}

BOOL WINAPI BluetoothFindDeviceClose(HBLUETOOTH_DEVICE_FIND find) {
  World().RecordCall("BluetoothFindDeviceClose");
  if (!sim::LookUpApiHandleAs<DeviceSearch>(find)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return sim::CloseApiHandle(find);
}

DWORD WINAPI BluetoothAuthenticateDevice(HWND, HANDLE radio, BLUETOOTH_DEVICE_INFO* info, WCHAR* passkey,
                                  ULONG passkeyLength) {
  World().RecordCall("BluetoothAuthenticateDevice");
  size_t index = 0;
  if (!RadioIndex(radio, index)) return ERROR_INVALID_HANDLE;
  if (!info) return ERROR_INVALID_PARAMETER;
  DWORD result = World().Authenticate(index, info->Address.ullLong, passkey, passkeyLength);
  BluetoothDeviceState device;
  if (result == ERROR_SUCCESS && World().Device(info->Address.ullLong, device)) Fill(device, info);
  return result;
}

DWORD WINAPI BluetoothEnumerateInstalledServices(HANDLE radio, BLUETOOTH_DEVICE_INFO* info, DWORD* count,
                                          GUID* services) {
  World().RecordCall("BluetoothEnumerateInstalledServices");
  size_t index = 0;
  if (!RadioIndex(radio, index)) return ERROR_INVALID_HANDLE;
  if (!info || !count) return ERROR_INVALID_PARAMETER;
  std::vector<GUID> installed;
  DWORD result = World().InstalledServices(info->Address.ullLong, installed);
  if (result != ERROR_SUCCESS) return result;
  DWORD room = services ? *count : 0;
  *count = static_cast<DWORD>(installed.size());
  if (installed.size() > room) return ERROR_MORE_DATA;
  for (size_t i = 0; i < installed.size(); ++i) services[i] = installed[i];
  return ERROR_SUCCESS;
}

DWORD WINAPI BluetoothSetServiceState(HANDLE radio, BLUETOOTH_DEVICE_INFO* info, GUID* service, DWORD flags) {
  World().RecordCall("BluetoothSetServiceState");
  size_t index = 0;
  if (!RadioIndex(radio, index)) return ERROR_INVALID_HANDLE;
  if (!info || !service) return ERROR_INVALID_PARAMETER;
  return World().SetServiceState(info->Address.ullLong, *service, (flags & BLUETOOTH_SERVICE_ENABLE) != 0);
}

DWORD WINAPI BluetoothRemoveDevice(BLUETOOTH_ADDRESS* address) {
  World().RecordCall("BluetoothRemoveDevice");
  if (!address) return ERROR_INVALID_PARAMETER;
  sim::BluetoothDeviceState device;
  if (World().Device(address->ullLong, device) && device.removalMicros != 0) sim::SleepFor(device.removalMicros);
  return World().Remove(address->ullLong);
}
