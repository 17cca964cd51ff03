// The simulated hid.dll and SETUPAPI.DLL answer as Windows does: sizes, size queries, errors.
#include "platform/posix/control.h"
#include "platform/posix/hid_endpoint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

class RecordingEndpoint : public sim::HidDevice {
 public:
  bool OnOutputReport(const uint8_t* data, size_t length, DWORD* error) override {
    if (refuseWith) {
      *error = refuseWith;
      return false;
    }
    received.assign(data, data + length);
    return true;
  }
  std::vector<uint8_t> received;
  DWORD refuseWith = 0;
};

const wchar_t kFirstPath[] =
    L"\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&0002057e_pid&0306#8&3c4d5e6f&0&0000#"
    L"{4d1e55b2-f16f-11cf-88cb-001111000030}";
const wchar_t kSecondPath[] = L"\\\\?\\hid#vid_845e&pid_0001#1&2&3&0#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class SimulatedHidSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::HidIdentity identity;
    identity.vendorId = 0x057E;
    identity.productId = 0x0306;
    identity.versionNumber = 0x0600;
    identity.product = L"Nintendo RVL-WBC-01";
    identity.manufacturer = L"Nintendo";
    identity.serialNumber = L"0017ab3c4d5e";
    first->SetIdentity(identity);
    sim::RegisterHidDevice(kFirstPath, first);
    sim::RegisterHidDevice(kSecondPath, second);
    HidD_GetHidGuid(&hidClass);
    handlesBefore = posix::LiveHandleCount();
  }
  void TearDown() override {
    sim::UnregisterHidDevice(kFirstPath);
    sim::UnregisterHidDevice(kSecondPath);
  }
  HANDLE Open(const wchar_t* path) {
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
  }

  std::shared_ptr<RecordingEndpoint> first = std::make_shared<RecordingEndpoint>();
  std::shared_ptr<RecordingEndpoint> second = std::make_shared<RecordingEndpoint>();
  GUID hidClass = {};
  int handlesBefore = 0;
};

TEST_F(SimulatedHidSystem, AttributesAndStringsComeFromTheEndpoint) {
  HANDLE h = Open(kFirstPath);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  HIDD_ATTRIBUTES attributes = {};
  attributes.Size = sizeof attributes;
  ASSERT_TRUE(HidD_GetAttributes(h, &attributes));
  EXPECT_EQ(attributes.VendorID, 0x057E);
  EXPECT_EQ(attributes.ProductID, 0x0306);
  EXPECT_EQ(attributes.VersionNumber, 0x0600);

  wchar_t text[128];
  ASSERT_TRUE(HidD_GetProductString(h, text, sizeof text));
  EXPECT_STREQ(text, L"Nintendo RVL-WBC-01");
  ASSERT_TRUE(HidD_GetManufacturerString(h, text, sizeof text));
  EXPECT_STREQ(text, L"Nintendo");
  ASSERT_TRUE(HidD_GetSerialNumberString(h, text, sizeof text));
  EXPECT_STREQ(text, L"0017ab3c4d5e");

  // Too small for the whole string and its terminator: nothing at all.
  wchar_t exact[13];  // twelve digits and the terminator
  exact[0] = L'x';
  EXPECT_FALSE(HidD_GetSerialNumberString(h, exact, sizeof exact - 1));
  EXPECT_EQ(exact[0], L'x');
  EXPECT_TRUE(HidD_GetSerialNumberString(h, exact, sizeof exact));
  EXPECT_FALSE(HidD_GetAttributes(reinterpret_cast<HANDLE>(0x4242), &attributes));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(h);

  HANDLE other = Open(kSecondPath);
  EXPECT_FALSE(HidD_GetSerialNumberString(other, text, sizeof text)) << "a device without one";
  CloseHandle(other);
}

TEST_F(SimulatedHidSystem, OutputReportsReachTheEndpoint) {
  HANDLE h = Open(kFirstPath);
  uint8_t report[22] = {0x11, 0x10};
  SetLastError(0);
  EXPECT_TRUE(HidD_SetOutputReport(h, report, sizeof report));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING)) << "success leaves what Wine's hid.dll leaves";
  EXPECT_EQ(first->received, std::vector<uint8_t>(report, report + 22));

  first->refuseWith = ERROR_GEN_FAILURE;
  EXPECT_FALSE(HidD_SetOutputReport(h, report, sizeof report));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  first->refuseWith = 0;

  first->Disconnect();
  EXPECT_FALSE(HidD_SetOutputReport(h, report, sizeof report));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  first->Reconnect();
  CloseHandle(h);
}

TEST_F(SimulatedHidSystem, InterfaceSetListsTheRegisteredDevices) {
  HDEVINFO set = SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA item = {};
  item.cbSize = sizeof item;
  std::vector<std::wstring> paths;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, i, &item); ++i) {
    DWORD needed = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &item, nullptr, 0, &needed, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<uint8_t> buffer(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof *detail;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &item, detail, needed - 1, &needed, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &item, detail, needed, nullptr, &device));
    EXPECT_EQ(needed, offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                          (std::wcslen(detail->DevicePath) + 1) * sizeof(WCHAR));
    paths.push_back(detail->DevicePath);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  // Other tests' devices may be registered too; these two come in their order.
  auto at = std::find(paths.begin(), paths.end(), kFirstPath);
  ASSERT_NE(at, paths.end());
  ASSERT_NE(at + 1, paths.end());
  EXPECT_EQ(*(at + 1), kSecondPath);
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(posix::LiveHandleCount(), handlesBefore);
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SimulatedHidSystem, InstanceIdAndPropertiesOfADevice) {
  HDEVINFO set = SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA item = {};
  item.cbSize = sizeof item;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  std::vector<uint8_t> buffer(1024);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = sizeof *detail;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, i, &item); ++i) {
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &item, detail, 1024, nullptr, &device));
    if (std::wstring(detail->DevicePath) == kFirstPath) break;
  }
  ASSERT_STREQ(detail->DevicePath, kFirstPath);

  DWORD needed = 0;
  EXPECT_FALSE(SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::wstring id(needed, L'\0');
  ASSERT_TRUE(SetupDiGetDeviceInstanceIdW(set, &device, &id[0], needed, nullptr));
  EXPECT_STREQ(id.c_str(), L"HID\\{00001124-0000-1000-8000-00805F9B34FB}_VID&0002057E_PID&0306\\8&3C4D5E6F&0&0000");

  DWORD type = 0;
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_MFG, &type, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> value(needed);
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_MFG, &type, value.data(), needed, nullptr));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(needed % sizeof(WCHAR), 0u);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, &type, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << "HID devices have no friendly name";
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SimulatedHidSystem, OtherInterfaceClassesAreEmpty) {
  GUID other = hidClass;
  other.Data1 ^= 1;
  HDEVINFO set = SetupDiGetClassDevsW(&other, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA item = {};
  item.cbSize = sizeof item;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &other, 0, &item));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  SetupDiDestroyDeviceInfoList(set);
  EXPECT_EQ(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
}

}  // namespace
