// The host connection against a host services object of the test's own, and its fall-back
// registration of the companion class. Each case runs on a thread of its own: COM state
// (initialisation, registrations) belongs to threads.
#include "plugin/host_connection.h"

#include "plugin/library.h"
#include "support/exceptions.h"
#include "testing/fake_host_services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

using testing_support::ClassRegistration;
using testing_support::FakeHostServices;
using testing_support::OleThread;
using testing_support::OnNewThread;
using Outcome = HostConnection::Outcome;

ModuleVersion GivenVersion(const wchar_t* text) {
  ModuleVersion version;
  version.fixedPartRead = true;
  version.fileVersion = text;
  version.description = L"Wii Balance Board";
  return version;
}

class HostConnectionTest : public ::testing::Test {
 protected:
  // Runs work with the host's services registered on a new thread, as the host would have them.
  void WithHostServices(const std::function<void(HostConnection&)>& work) {
    OnNewThread([&] {
      OleThread ole;
      ASSERT_EQ(ole.result(), S_OK);
      ClassRegistration registration(kHostServicesClass, &host_);
      ASSERT_EQ(registration.result(), S_OK);
      HostConnection connection;
      work(connection);
      connection.Release();
    });
  }
  FakeHostServices host_;
};

TEST_F(HostConnectionTest, ThisBuildAnnouncesNothing) {
  WithHostServices([&](HostConnection& connection) {
    EXPECT_EQ(connection.AnnouncePreRelease(PluginModuleHandle()), Outcome::kNotPreRelease);
  });
  EXPECT_EQ(host_.queries.load(), 1);
  EXPECT_TRUE(host_.Announcements().empty());
}

TEST_F(HostConnectionTest, BetaIsAnnouncedWithItsDescription) {
  WithHostServices([&](HostConnection& connection) {
    auto beta = [](HMODULE) { return GivenVersion(L"2.0 Beta"); };
    EXPECT_EQ(connection.AnnouncePreRelease(PluginModuleHandle(), beta), Outcome::kAnnounced);
  });
  ASSERT_EQ(host_.Announcements().size(), 1u);
  EXPECT_EQ(host_.Announcements()[0], L"Wii Balance Board 2.0 Beta");
}

TEST_F(HostConnectionTest, HostThatDeclinesIsNotToldTheVersion) {
  host_.declineAnnouncement = 1;
  std::atomic<int> reads{0};
  auto counted = [&](HMODULE) {
    ++reads;
    return GivenVersion(L"2.0 Beta");
  };
  WithHostServices([&](HostConnection& connection) {
    EXPECT_EQ(connection.AnnouncePreRelease(PluginModuleHandle(), counted), Outcome::kDeclined);
    host_.declineAnnouncement = 0;
    host_.queryResult = E_FAIL;  // a query that fails answers nothing
    EXPECT_EQ(connection.AnnouncePreRelease(PluginModuleHandle(), counted), Outcome::kDeclined);
  });
  EXPECT_EQ(reads.load(), 0);
  EXPECT_TRUE(host_.Announcements().empty());
}

TEST_F(HostConnectionTest, KeepsTheServicesWithoutAReferenceAndWithoutAskingAgain) {
  OnNewThread([&] {
    OleThread ole;
    ClassRegistration registration(kHostServicesClass, &host_);
    ASSERT_EQ(registration.result(), S_OK);
    ULONG registered = host_.references.load();
    HostConnection connection;
    EXPECT_EQ(connection.GetHostServices(), &host_);
    EXPECT_EQ(host_.references.load(), registered);
    // Once the system no longer has the class, only the kept pointer can answer.
    registration.Revoke();
    void* object = nullptr;
    ASSERT_EQ(CoGetClassObject(kHostServicesClass, kAnyClassContext, nullptr, kHostServicesInterface, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(connection.GetHostServices(), &host_);
    connection.Release();
  });
}

TEST(HostConnectionFallBack, RegistersTheCompanionClassAndGivesEverythingBack) {
  OnNewThread([] {
    HostConnection connection;
    EXPECT_EQ(connection.GetHostServices(), nullptr);  // the companion is no host services component
    // The fall-back initialised OLE here and registered the companion's class object.
    void* companion = nullptr;
    ASSERT_EQ(CoGetClassObject(kCompanionClass, kAnyClassContext, nullptr, IID_IUnknown, &companion), S_OK);
    static_cast<IUnknown*>(companion)->Release();
    EXPECT_EQ(connection.AnnouncePreRelease(PluginModuleHandle()), Outcome::kNoHostServices);
    connection.Release();
    // OLE is balanced and the registration gone.
    OleThread ole;
    EXPECT_EQ(ole.result(), S_OK);
    EXPECT_EQ(CoGetClassObject(kCompanionClass, kAnyClassContext, nullptr, IID_IUnknown, &companion),
              REGDB_E_CLASSNOTREG);
  });
}

TEST(HostConnectionFallBack, AlreadyInitialisedThreadRaisesXOrxYetStaysBalanced) {
  OnNewThread([] {
    OleThread ole;
    ASSERT_EQ(ole.result(), S_OK);
    HostConnection connection;
    HRESULT raised = S_OK;
    try {
      connection.GetHostServices();
    } catch (const XOrx& e) {
      raised = e.code();
    }
    EXPECT_EQ(raised, S_FALSE);
    connection.Release();
    // Only the test's own initialisation is left: one more and it is a second one.
    OleThread again;
    EXPECT_EQ(again.result(), S_FALSE);
  });
  OnNewThread([] {
    OleThread ole;
    HostConnection connection;
    EXPECT_EQ(connection.AnnouncePreRelease(PluginModuleHandle()), Outcome::kFailed);  // not thrown
    connection.Release();
  });
}

TEST(HostConnectionFallBack, CompanionLibraryLiesBesideTheHostExecutable) {
  wchar_t executable[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, executable, MAX_PATH);
  std::wstring directory(executable, length);
  directory.erase(directory.find_last_of(L'\\') + 1);
  EXPECT_EQ(CompanionLibraryPath(), directory + L"Hvx.dll");
}

TEST(HostServicesInterface, OperationsSitAtTheirPlaces) {
  // A pointer to a virtual member holds 1 + the slot's byte offset in its table (Itanium ABI,
  // which g++ and clang follow on Linux and MinGW alike).
  auto place = [](auto member) {
    std::ptrdiff_t words[2];
    static_assert(sizeof member == sizeof words, "a pointer to member is two words");
    std::memcpy(words, &member, sizeof words);
    return static_cast<int>((words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)));
  };
  EXPECT_EQ(place(&IHostServices::AddRef), 1);
  EXPECT_EQ(place(&IHostServices::ReleaseQuery), kReleaseQueryPlace);
  EXPECT_EQ(place(&IHostServices::Announce), kAnnouncePlace);
}

}  // namespace
