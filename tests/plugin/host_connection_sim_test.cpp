// The fall-back registration against the simulated host installation: the companion library
// "Hvx.dll" beside the host's executable, taken away or broken by the tests.
#include "plugin/host_connection.h"

#include "platform/posix/control.h"
#include "plugin/library.h"
#include "plugin/pre_release.h"
#include "support/exceptions.h"
#include "testing/fake_host_services.h"

#include <gtest/gtest.h>

namespace {

using testing_support::ClassRegistration;
using testing_support::FakeHostServices;
using testing_support::OleThread;
using testing_support::OnNewThread;

const wchar_t kCompanionPath[] = L"C:\\Program Files\\Kymora\\Hvx.dll";

class CompanionLibrary : public ::testing::Test {
 protected:
  void TearDown() override { posix::InstallCompanionLibrary(); }
};

HRESULT WINAPI FailingGetClassObject(REFCLSID, REFIID, LPVOID* object) {
  *object = nullptr;
  return E_OUTOFMEMORY;
}

TEST_F(CompanionLibrary, LoadedOnceRegisteredAndGivenBack) {
  EXPECT_EQ(CompanionLibraryPath(), kCompanionPath);
  int loads = posix::ModuleLoadCount(kCompanionPath);
  long references = posix::CompanionClassObjectReferences();
  OnNewThread([&] {
    HostConnection connection;
    EXPECT_EQ(connection.GetHostServices(), nullptr);
    EXPECT_EQ(connection.GetHostServices(), nullptr);  // each step of the fall-back runs once
    EXPECT_EQ(posix::ModuleLoadCount(kCompanionPath), loads + 1);
    EXPECT_EQ(posix::CompanionClassObjectReferences(), references + 1);  // the registration's
    connection.Release();
    EXPECT_EQ(posix::ModuleLoadCount(kCompanionPath), loads);
    EXPECT_EQ(posix::CompanionClassObjectReferences(), references);
  });
}

TEST_F(CompanionLibrary, NotNeededWhenTheHostServicesAreThere) {
  int attempts = posix::ModuleLoadAttempts(kCompanionPath);
  FakeHostServices host;
  OnNewThread([&] {
    OleThread ole;
    ClassRegistration registration(kHostServicesClass, &host);
    HostConnection connection;
    EXPECT_EQ(connection.GetHostServices(), &host);
    connection.Release();
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);  // the test's initialisation is untouched
    OleUninitialize();
  });
  EXPECT_EQ(posix::ModuleLoadAttempts(kCompanionPath), attempts);
}

TEST_F(CompanionLibrary, OnlyTheOneBesideTheExecutableCounts) {
  posix::RemoveModule(kCompanionPath);
  posix::RegisterModule(L"C:\\Windows\\System32\\Hvx.dll", {});
  EXPECT_EQ(LoadLibraryW(L"C:\\Windows\\System32\\..\\Hvx.dll"), nullptr);
  EXPECT_EQ(LoadLibraryW(kCompanionPath), nullptr);
  posix::RemoveModule(L"C:\\Windows\\System32\\Hvx.dll");
}

TEST_F(CompanionLibrary, FailingClassObjectRaisesXHResultAndFreesTheLibrary) {
  auto entry = reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FailingGetClassObject));
  posix::RegisterModule(kCompanionPath, {{"DllGetClassObject", entry}});
  int loads = posix::ModuleLoadCount(kCompanionPath);
  OnNewThread([&] {
    HostConnection connection;
    HRESULT raised = S_OK;
    try {
      connection.GetHostServices();
    } catch (const XHResult& e) {
      raised = e.code;
    }
    EXPECT_EQ(raised, E_OUTOFMEMORY);
    EXPECT_EQ(connection.AnnouncePreRelease(PluginModuleHandle()), HostConnection::Outcome::kNoHostServices);
    connection.Release();
  });
  EXPECT_EQ(posix::ModuleLoadCount(kCompanionPath), loads);
}

void FallBackOnNewThread() {
  OnNewThread([] {
    HostConnection connection;
    connection.GetHostServices();
  });
}

class CompanionLibraryDeathTest : public CompanionLibrary {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(CompanionLibraryDeathTest, MissingEntryShowsTheBoxAndEndsTheProcess) {
  EXPECT_EXIT(
      {
        posix::RemoveModuleExport(kCompanionPath, "DllGetClassObject");
        FallBackOnNewThread();
      },
      ::testing::ExitedWithCode(255),
      "\\[message box\\] Kymora load failed: Kymora failed to load C:\\\\Program Files\\\\Kymora\\\\Hvx\\.dll\n");
}

TEST_F(CompanionLibraryDeathTest, MissingLibraryShowsTheBoxAndEndsTheProcess) {
  EXPECT_EXIT(
      {
        posix::RemoveModule(kCompanionPath);
        FallBackOnNewThread();
      },
      ::testing::ExitedWithCode(255), "Kymora load failed: Kymora failed to load C:\\\\Program Files");
}

TEST(HostModuleVersion, ModuleWithoutVersionResourceReadsNotAvailable) {
  ModuleVersion version = ReadModuleVersion(GetModuleHandleW(nullptr));
  EXPECT_FALSE(version.fixedPartRead);
  EXPECT_EQ(std::wstring(version.fileVersion.Chars()), L"N/A");
  EXPECT_EQ(std::wstring(version.description.Chars()), L"N/A");
  OrxString text;
  EXPECT_FALSE(PreReleaseAnnouncement(version, text));
}

TEST(HostModuleVersion, DamagedBlockIsRefusedNotOverrun) {
  const wchar_t* path = L"PlankScale.kymdll";
  DWORD size = GetFileVersionInfoSizeW(path, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<unsigned char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
  EXPECT_FALSE(GetFileVersionInfoW(path, 0, size - 1, block.data()));
  // The root's first child, "StringFileInfo", claims more than the root holds.
  const size_t child = 0x5C;  // header, "VS_VERSION_INFO", padding, 52 bytes of fixed part
  block[child] = 0xFF;
  block[child + 1] = 0xFF;
  void* value = nullptr;
  UINT length = 0;
  EXPECT_FALSE(VerQueryValueW(block.data(), L"\\StringFileInfo\\140904e4\\FileVersion", &value, &length));
  EXPECT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
}

}  // namespace
