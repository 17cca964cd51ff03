// The built plug-in loaded by a host that offers its services, on Windows' own COM: what the
// library attach asks, announces and leaves behind.
#include "host_services_environment.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const wchar_t kDll[] = L"PlankScale.kymdll";

bool Loaded(const wchar_t* name) { return GetModuleHandleW(name) != nullptr; }

TEST(HostConnection, LoadAsksTheHostAndThisVersionAnnouncesNothing) {
  ASSERT_FALSE(Loaded(kDll));
  auto& host = TestHostServices();
  host.declineAnnouncement = 0;
  int queries = host.queries.load();
  HMODULE plugin = LoadLibraryW(kDll);
  ASSERT_NE(plugin, nullptr) << GetLastError();
  EXPECT_EQ(host.queries.load(), queries + 1);
  EXPECT_TRUE(host.Announcements().empty());
  EXPECT_FALSE(Loaded(L"Hvx.dll"));  // no fall-back while the host offers its services
  FreeLibrary(plugin);

  host.declineAnnouncement = 1;
  plugin = LoadLibraryW(kDll);
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(host.queries.load(), queries + 2);
  EXPECT_TRUE(host.Announcements().empty());
  FreeLibrary(plugin);
  host.declineAnnouncement = 0;
}

TEST(HostConnection, FailedFallBackLeavesThePluginWorking) {
  // Without the services, on a thread where OLE runs already, the fall-back's OLE start reports
  // S_FALSE and raises; the plug-in loads and answers all the same.
  RevokeHostServices();
  HMODULE plugin = LoadLibraryW(kDll);
  EXPECT_NE(plugin, nullptr) << GetLastError();
  if (plugin) {
    FARPROC entry = GetProcAddress(plugin, "GetBaudRate");
    auto getBaudRate = reinterpret_cast<int(__cdecl*)()>(reinterpret_cast<void*>(entry));
    EXPECT_TRUE(getBaudRate && getBaudRate() == 0);
    EXPECT_FALSE(Loaded(L"Hvx.dll"));
    FreeLibrary(plugin);
  }
  ASSERT_EQ(RegisterHostServices(), S_OK);
  EXPECT_EQ(OleInitialize(nullptr), S_FALSE);  // the environment's OLE is still there, once
  OleUninitialize();
}

TEST(HostConnection, FallBackOnAThreadWithoutOleUsesTheCompanionBesideTheProgram) {
  std::thread([] {
    HMODULE plugin = LoadLibraryW(kDll);
    ASSERT_NE(plugin, nullptr) << GetLastError();
    EXPECT_TRUE(Loaded(L"Hvx.dll"));
    void* companion = nullptr;
    EXPECT_EQ(CoGetClassObject(kCompanionClass, kAnyClassContext, nullptr, IID_IUnknown, &companion), S_OK);
    if (companion) static_cast<IUnknown*>(companion)->Release();
    FreeLibrary(plugin);
    EXPECT_FALSE(Loaded(L"Hvx.dll"));
    EXPECT_EQ(OleInitialize(nullptr), S_OK);  // what the plug-in started, it gave back
    OleUninitialize();
  }).join();
}

}  // namespace
