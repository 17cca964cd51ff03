#include "discovery/dev_reg_enum.h"

#include "discovery/hid_library.h"
#include "discovery/setupapi_library.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDeviceAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kDeviceSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Room for 63 characters and the terminator, as the HID strings are read.
constexpr ULONG kHidStringChars = 128;
constexpr ULONG kHidStringBytes = 64 * sizeof(WCHAR) - 1;

SetupApiTable& SetupApi() { return SetupApiTable::Instance(); }
HidDllTable& Hid() { return HidDllTable::Instance(); }

// The interface detail of one entry, in a buffer of the size SetupAPI asks for.
class InterfaceDetail {
  static constexpr DWORD kFixedPart = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);

 public:
  explicit InterfaceDetail(DWORD size) : bytes_(new BYTE[size < kFixedPart ? kFixedPart : size]()) {
    Record()->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  }
  SP_DEVICE_INTERFACE_DETAIL_DATA_W* Record() const {
    return reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(bytes_.get());
  }

 private:
  std::unique_ptr<BYTE[]> bytes_;
};

HANDLE InvalidHandle() { return INVALID_HANDLE_VALUE; }

}  // namespace

HDEVINFO DevRegEnum::deviceInfoSet = INVALID_HANDLE_VALUE;

DevRegEnum::DevRegEnum(const GUID& interfaceClassId) : interfaceClass(interfaceClassId) {}

DevRegEnum::~DevRegEnum() {
  if (deviceInfoSet != InvalidHandle() && SetupApi().destroyInfoList) SetupApi().destroyInfoList(deviceInfoSet);
  deviceInfoSet = InvalidHandle();
}

bool DevRegEnum::HasDeviceInfoSet() { return deviceInfoSet != InvalidHandle(); }

void DevRegEnum::EnsureSet() {
  if (deviceInfoSet != InvalidHandle() || !SetupApi().Usable()) return;
  if (!SetupApi().getClassDevices) return;
  deviceInfoSet = SetupApi().getClassDevices(&interfaceClass, nullptr, nullptr, setFlags);
  if (deviceInfoSet != InvalidHandle()) nextIndex = 0;
}

bool DevRegEnum::Next() {
  if (nextIndex < 0) return false;
  if (ReadEntry(nextIndex)) {
    currentIndex = nextIndex++;
    return true;
  }
  if (deviceInfoSet != InvalidHandle() && SetupApi().destroyInfoList) SetupApi().destroyInfoList(deviceInfoSet);
  deviceInfoSet = InvalidHandle();
  nextIndex = currentIndex = -1;
  return false;
}

void DevRegEnum::TrimToSegment(OrxString& text, wchar_t separator) const {
  std::wstring value(text.Chars(), text.Length());
  size_t last = value.rfind(separator);
  if (last != std::wstring::npos) value = value.substr(last + 1);
  size_t backslash = value.find(L'\\');
  if (backslash != std::wstring::npos) value = value.substr(0, backslash);
  text = OrxString(value.c_str());
}

bool DevRegEnum::GetDevicePath(OrxString& out) const {
  out = devicePath;
  return true;
}

OrxString DevRegEnum::GetInstanceId() const { return instanceId; }
OrxString DevRegEnum::GetName() const { return name; }
OrxString DevRegEnum::GetManufacturer() const { return manufacturer; }

bool DevRegEnum::ReadProperty(SP_DEVINFO_DATA& device, DWORD property, OrxString& into) {
  DWORD size = 0;
  // A property belongs to the entry's device record; without it SetupAPI answers nothing.
  SetupApi().getRegistryProperty(deviceInfoSet, &device, property, nullptr, nullptr, 0, &size);
  DWORD error = GetLastError();
  if (error == ERROR_INVALID_DATA) return true;  // the device has no such property
  if (error != ERROR_INSUFFICIENT_BUFFER) return false;
  std::vector<BYTE> value(size + sizeof(WCHAR), 0);
  if (!SetupApi().getRegistryProperty(deviceInfoSet, &device, property, nullptr, value.data(), size, nullptr))
    return false;
  into = OrxString(reinterpret_cast<const wchar_t*>(value.data()));
  return true;
}

bool DevRegEnum::FindInterface(int index, SP_DEVICE_INTERFACE_DATA& interfaceData) {
  EnsureSet();
  if (!SetupApi().Usable()) return false;
  std::memset(&interfaceData, 0, sizeof interfaceData);
  interfaceData.cbSize = sizeof interfaceData;
  return SetupApi().enumerateInterfaces(deviceInfoSet, nullptr, &interfaceClass, static_cast<DWORD>(index),
                                        &interfaceData) != FALSE;
}

BOOL DevRegEnum::ReadEntry(int index) {
  SP_DEVICE_INTERFACE_DATA interfaceData;
  if (!FindInterface(index, interfaceData)) return FALSE;
  DWORD size = 0;
  SetupApi().getInterfaceDetail(deviceInfoSet, &interfaceData, nullptr, 0, &size, nullptr);
  InterfaceDetail detail(size);
  SP_DEVINFO_DATA deviceData;
  std::memset(&deviceData, 0, sizeof deviceData);
  deviceData.cbSize = sizeof deviceData;
  BOOL result = SetupApi().getInterfaceDetail(deviceInfoSet, &interfaceData, detail.Record(), size, nullptr, &deviceData);
  if (!result) return FALSE;
  devicePath = OrxString(detail.Record()->DevicePath);
  DWORD idSize = 0;
  SetupApi().getDeviceInstanceId(deviceInfoSet, &deviceData, nullptr, 0, &idSize);
  std::vector<WCHAR> id(idSize + 1, 0);
  result = SetupApi().getDeviceInstanceId(deviceInfoSet, &deviceData, id.data(), idSize, nullptr);
  if (result) instanceId = OrxString(id.data());
  if (SetupApi().getRegistryProperty) {
    ReadProperty(deviceData, SPDRP_MFG, manufacturer);
    ReadProperty(deviceData, SPDRP_FRIENDLYNAME, name);
    ReadProperty(deviceData, SPDRP_DEVICEDESC, description);
  }
  return result;
}

DevRegEnumHID::DevRegEnumHID(const GUID& interfaceClassId) : DevRegEnum(interfaceClassId) { EnsureSet(); }

DevRegEnumHID::~DevRegEnumHID() { ReleaseHandle(); }

void DevRegEnumHID::ReleaseHandle() {
  if (deviceHandle != InvalidHandle()) CloseHandle(deviceHandle);
  deviceHandle = InvalidHandle();
}

BOOL DevRegEnumHID::ReadEntry(int index) {
  // A device that cannot be opened or read must never pass for the entry before it.
  ReleaseHandle();
  vendorId = productId = 0;
  name = manufacturer = serialNumber = OrxString();

  SP_DEVICE_INTERFACE_DATA interfaceData;
  if (!FindInterface(index, interfaceData)) return FALSE;
  DWORD size = 0;
  if (!SetupApi().getInterfaceDetail(deviceInfoSet, &interfaceData, nullptr, 0, &size, nullptr) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return FALSE;
  InterfaceDetail detail(size);
  BOOL result = SetupApi().getInterfaceDetail(deviceInfoSet, &interfaceData, detail.Record(), size, nullptr, nullptr);
  if (!result) return FALSE;

  deviceHandle = CreateFileW(detail.Record()->DevicePath, kDeviceAccess, kDeviceSharing, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
  if (deviceHandle == InvalidHandle() || !Hid().Usable()) return result;
  HIDD_ATTRIBUTES attributes;
  std::memset(&attributes, 0, sizeof attributes);
  attributes.Size = sizeof attributes;
  if (Hid().HidD_GetAttributes(deviceHandle, &attributes)) {
    vendorId = attributes.VendorID;
    productId = attributes.ProductID;
  }
  WCHAR text[kHidStringChars];
  std::memset(text, 0, sizeof text);
  if (Hid().HidD_GetProductString(deviceHandle, text, kHidStringBytes)) name = OrxString(text);
  std::memset(text, 0, sizeof text);
  if (Hid().HidD_GetManufacturerString(deviceHandle, text, kHidStringBytes)) manufacturer = OrxString(text);
  std::memset(text, 0, sizeof text);
  if (Hid().HidD_GetSerialNumberString(deviceHandle, text, kHidStringBytes)) serialNumber = OrxString(text);
  return result;
}

bool DevRegEnumHID::InstanceIdSegmentStartsWith(const OrxString& prefix, wchar_t separator) const {
  std::wstring id(instanceId.Chars(), instanceId.Length());
  size_t last = id.rfind(separator);
  std::wstring segment = last == std::wstring::npos ? id : id.substr(last + 1);
  return segment.compare(0, prefix.Length(), prefix.Chars(), prefix.Length()) == 0;
}

bool DevRegEnumHID::HasIds(uint16_t vendor, uint16_t product) const {
  return vendorId == vendor && productId == product;
}

OrxString DevRegEnumHID::GetSerialNumber() const { return serialNumber; }

HANDLE DevRegEnumHID::GetHandle() {
  HANDLE handed = deviceHandle;
  deviceHandle = InvalidHandle();
  return handed;
}
