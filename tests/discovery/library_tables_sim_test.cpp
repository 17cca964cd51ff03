// Binding hid.dll and SETUPAPI.DLL at run time on systems that lack the libraries or some of
// their names, and giving SETUPAPI.DLL back at unload.
#include "discovery/hid_library.h"
#include "discovery/setupapi_library.h"
#include "platform/posix/control.h"
#include "platform/posix/system_modules.h"
#include "plugin/library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

const wchar_t kHid[] = L"hid.dll";
const wchar_t kSetupApi[] = L"SETUPAPI.DLL";

const char* const kHidNames[] = {
    "HidD_GetHidGuid",        "HidD_GetAttributes",     "HidD_GetProductString", "HidD_GetManufacturerString",
    "HidD_GetSerialNumberString", "HidD_GetPreparsedData", "HidD_FreePreparsedData", "HidD_SetFeature",
    "HidD_GetFeature",        "HidD_SetOutputReport",
};

int NotLoadedMessages() {
  auto lines = posix::DebugOutput();
  return static_cast<int>(std::count(lines.begin(), lines.end(), std::string("HID DLL not loaded\n")));
}

class LibraryTables : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }
  void TearDown() override {
    Fresh();
    SetupApiTable::Instance().Acquire();  // as the plug-in's load left it
  }
  static void Fresh() {
    HidDllTable::Instance().ResetForTesting();
    SetupApiTable::Instance().ResetForTesting();
    posix::RegisterHidModule();
    posix::RegisterSetupApiModule();
    posix::ClearUserInterfaceRecords();
  }
};

TEST_F(LibraryTables, HidTableLoadsOnceAndStays) {
  HidDllTable& hid = HidDllTable::Instance();
  int attempts = posix::ModuleLoadAttempts(kHid);
  hid.Acquire();
  hid.Acquire();
  EXPECT_TRUE(hid.Usable());
  EXPECT_EQ(hid.UseCount(), 2);
  EXPECT_EQ(posix::ModuleLoadAttempts(kHid), attempts + 1);
  EXPECT_EQ(posix::ModuleLoadCount(kHid), 1);
  EXPECT_EQ(hid.HidD_SetOutputReport, &HidD_SetOutputReport);
  EXPECT_EQ(hid.HidD_GetHidGuid, &HidD_GetHidGuid);
  EXPECT_EQ(NotLoadedMessages(), 0);
}

TEST_F(LibraryTables, AnyOfTheTenHidNamesMissingLeavesTheTableUnusable) {
  for (const char* name : kHidNames) {
    Fresh();
    posix::RemoveModuleExport(kHid, name);
    HidDllTable& hid = HidDllTable::Instance();
    hid.Acquire();
    EXPECT_FALSE(hid.Usable()) << name;
    EXPECT_EQ(hid.Library(), nullptr) << name;
    EXPECT_EQ(hid.HidD_SetOutputReport, nullptr) << name;
    EXPECT_EQ(NotLoadedMessages(), 1) << name;
    EXPECT_EQ(posix::ModuleLoadCount(kHid), 0) << name << ": the library was freed";
  }
}

TEST_F(LibraryTables, FailedHidLoadIsNeverRetried) {
  posix::RemoveModule(kHid);
  int attempts = posix::ModuleLoadAttempts(kHid);
  HidDllTable& hid = HidDllTable::Instance();
  hid.Acquire();
  EXPECT_FALSE(hid.Usable());
  EXPECT_EQ(NotLoadedMessages(), 1);
  posix::RegisterHidModule();  // even once the library is back
  hid.Acquire();
  EXPECT_FALSE(hid.Usable());
  EXPECT_EQ(hid.UseCount(), 2);
  EXPECT_EQ(posix::ModuleLoadAttempts(kHid), attempts + 1);
  EXPECT_EQ(NotLoadedMessages(), 1);
}

TEST_F(LibraryTables, SetupApiTableTakesTheFallBackNames) {
  SetupApiTable& setup = SetupApiTable::Instance();
  setup.Acquire();
  ASSERT_TRUE(setup.Usable());
  EXPECT_EQ(setup.enumerateInterfaces, &SetupDiEnumDeviceInterfaces);
  EXPECT_EQ(setup.getInterfaceDetail, &SetupDiGetDeviceInterfaceDetailW);

  Fresh();
  posix::RemoveModuleExport(kSetupApi, "SetupDiEnumInterfaceDevice");
  setup.Acquire();
  EXPECT_TRUE(setup.Usable()) << "only the new enumeration name";

  Fresh();
  posix::RemoveModuleExport(kSetupApi, "SetupDiGetDeviceInterfaceDetailW");
  setup.Acquire();
  EXPECT_TRUE(setup.Usable()) << "only the old detail name";
  EXPECT_EQ(NotLoadedMessages(), 0);
}

TEST_F(LibraryTables, SetupApiEntryMissingUnderEveryNameLeavesTheTableUnusable) {
  const std::vector<std::vector<std::string>> entries = {
      {"SetupDiGetDeviceInstanceIdW"},
      {"SetupDiGetDeviceInterfaceDetailW", "SetupDiGetInterfaceDeviceDetailW"},
      {"SetupDiEnumInterfaceDevice", "SetupDiEnumDeviceInterfaces"},
      {"SetupDiGetClassDevsW"},
      {"SetupDiDestroyDeviceInfoList"},
      {"SetupDiGetDeviceRegistryPropertyW"},
  };
  SetupApiTable& setup = SetupApiTable::Instance();
  for (const auto& names : entries) {
    Fresh();
    for (const auto& n : names) posix::RemoveModuleExport(kSetupApi, n);
    setup.Acquire();
    EXPECT_FALSE(setup.Usable()) << names[0];
    EXPECT_EQ(setup.UseCount(), 0) << names[0];
    EXPECT_EQ(setup.Library(), nullptr) << names[0];
    EXPECT_EQ(posix::ModuleLoadCount(kSetupApi), 0) << names[0];
  }
  EXPECT_EQ(NotLoadedMessages(), 0) << "SetupAPI fails silently";
}

TEST_F(LibraryTables, MissingSetupApiIsTriedAgainLater) {
  posix::RemoveModule(kSetupApi);
  SetupApiTable& setup = SetupApiTable::Instance();
  int attempts = posix::ModuleLoadAttempts(kSetupApi);
  setup.Acquire();
  EXPECT_FALSE(setup.Usable());
  EXPECT_EQ(setup.UseCount(), 0);
  posix::RegisterSetupApiModule();
  setup.Acquire();
  EXPECT_TRUE(setup.Usable());
  EXPECT_EQ(posix::ModuleLoadAttempts(kSetupApi), attempts + 2);
}

TEST_F(LibraryTables, UnloadFreesAUsableSetupApiOnce) {
  SetupApiTable& setup = SetupApiTable::Instance();
  setup.Acquire();
  ASSERT_EQ(posix::ModuleLoadCount(kSetupApi), 1);
  LibraryDetach();
  EXPECT_EQ(posix::ModuleLoadCount(kSetupApi), 0);
  EXPECT_FALSE(setup.Usable());
  EXPECT_EQ(setup.UseCount(), 0);
  LibraryDetach();
  EXPECT_EQ(posix::ModuleLoadCount(kSetupApi), 0);
  LibraryAttach(posix::PluginModuleHandle());
}

TEST_F(LibraryTables, UnloadWithAnUnusableSetupApiFreesNothing) {
  posix::RemoveModuleExport(kSetupApi, "SetupDiGetClassDevsW");
  SetupApiTable& setup = SetupApiTable::Instance();
  setup.Acquire();
  ASSERT_FALSE(setup.Usable());
  HMODULE other = LoadLibraryW(kSetupApi);  // somebody else's use of the library
  LibraryDetach();
  EXPECT_EQ(posix::ModuleLoadCount(kSetupApi), 1);
  FreeLibrary(other);
  LibraryAttach(posix::PluginModuleHandle());
}

}  // namespace
