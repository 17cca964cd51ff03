// Both libraries bind on the system the tests run on: the simulated one natively, Wine's under
// Wine, whose SETUPAPI.DLL knows the enumeration only under its new name.
#include "discovery/hid_library.h"
#include "discovery/setupapi_library.h"

#include <gtest/gtest.h>

namespace {

FARPROC Export(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  return module ? GetProcAddress(module, name) : nullptr;
}

template <typename Function>
FARPROC AsExport(Function function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

TEST(LibraryTablesOnThisSystem, HidTableBinds) {
  HidDllTable& hid = HidDllTable::Instance();
  hid.ResetForTesting();
  hid.Acquire();
  ASSERT_TRUE(hid.Usable());
  EXPECT_EQ(AsExport(hid.HidD_GetHidGuid), Export(L"hid.dll", "HidD_GetHidGuid"));
  EXPECT_EQ(AsExport(hid.HidD_SetOutputReport), Export(L"hid.dll", "HidD_SetOutputReport"));
  GUID hidClass = {};
  hid.HidD_GetHidGuid(&hidClass);
  EXPECT_EQ(hidClass.Data1, 0x4D1E55B2u);
}

TEST(LibraryTablesOnThisSystem, SetupApiTableBindsWithTheNamesThisSystemHas) {
  SetupApiTable& setup = SetupApiTable::Instance();
  EXPECT_TRUE(setup.Usable()) << "acquired when the plug-in's code was loaded";
  setup.ResetForTesting();
  setup.Acquire();
  ASSERT_TRUE(setup.Usable());
  FARPROC oldName = Export(L"SETUPAPI.DLL", "SetupDiEnumInterfaceDevice");
  FARPROC newName = Export(L"SETUPAPI.DLL", "SetupDiEnumDeviceInterfaces");
  ASSERT_NE(newName, nullptr);
  RecordProperty("enumerationName", oldName ? "SetupDiEnumInterfaceDevice" : "SetupDiEnumDeviceInterfaces");
  EXPECT_EQ(AsExport(setup.enumerateInterfaces), oldName ? oldName : newName);
  EXPECT_EQ(AsExport(setup.getInterfaceDetail), Export(L"SETUPAPI.DLL", "SetupDiGetDeviceInterfaceDetailW"));

  // A set of the present HID interfaces can be made and walked to its end.
  GUID hidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
  HDEVINFO set = setup.getClassDevices(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA item = {};
  item.cbSize = sizeof item;
  DWORD count = 0;
  while (setup.enumerateInterfaces(set, nullptr, &hidClass, count, &item)) ++count;
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << count << " interfaces";
  EXPECT_TRUE(setup.destroyInfoList(set));
}

TEST(LibraryTablesOnThisSystem, SetupApiReleaseIsCounted) {
  SetupApiTable& setup = SetupApiTable::Instance();
  setup.ResetForTesting();
  setup.Acquire();
  setup.Acquire();
  setup.Release();
  EXPECT_TRUE(setup.Usable());
  setup.Release();
  EXPECT_FALSE(setup.Usable());
  EXPECT_EQ(setup.Library(), nullptr);
  setup.Release();  // nothing left to give back
  EXPECT_EQ(setup.UseCount(), 0);
  setup.Acquire();  // as the plug-in's load left it
  EXPECT_TRUE(setup.Usable());
}

}  // namespace
