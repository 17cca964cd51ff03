// Class-object registration and OLE initialisation as the plug-in relies on them: per thread,
// counted, with cookies. Under Wine the same cases check the POSIX layer's model against Wine's.
#include "platform/win32.h"

#include "testing/fake_host_services.h"

#include <gtest/gtest.h>

namespace {

using testing_support::ClassRegistration;
using testing_support::FakeHostServices;
using testing_support::OleThread;
using testing_support::OnNewThread;

// A class of the tests' own, in no registry.
constexpr CLSID kTestClass = {0x5A1D2C3B, 0x41E0, 0x4C7A, {0x9E, 0x21, 0x3B, 0x70, 0x12, 0x55, 0xC4, 0x08}};
constexpr IID kOtherInterface = {0x5A1D2C3C, 0x41E0, 0x4C7A, {0x9E, 0x21, 0x3B, 0x70, 0x12, 0x55, 0xC4, 0x08}};

HRESULT Ask(REFCLSID classId, void** object, DWORD context = kAnyClassContext, REFIID iid = IID_IUnknown) {
  *object = reinterpret_cast<void*>(1);
  return CoGetClassObject(classId, context, nullptr, iid, object);
}

TEST(Com, ThreadsInitialiseFirstAndCountTheirInitialisations) {
  OnNewThread([] {
    void* object = nullptr;
    EXPECT_EQ(Ask(kTestClass, &object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    FakeHostServices unregistered;
    DWORD cookie = 7;
    EXPECT_EQ(CoRegisterClassObject(kTestClass, &unregistered, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(unregistered.references.load(), 0u);
    EXPECT_EQ(OleInitialize(nullptr), S_OK);
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
    EXPECT_EQ(Ask(kTestClass, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    OleUninitialize();
    OleUninitialize();
    EXPECT_EQ(Ask(kTestClass, &object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(OleInitialize(nullptr), S_OK);  // a new start, not a second one
    OleUninitialize();
  });
}

TEST(Com, RegisteredObjectIsFoundOnItsThreadUntilRevoked) {
  FakeHostServices object;
  OnNewThread([&] {
    OleThread ole;
    ClassRegistration first(kTestClass, &object);
    ClassRegistration second(kHostServicesClass, &object);
    ASSERT_EQ(first.result(), S_OK);
    ASSERT_EQ(second.result(), S_OK);
    EXPECT_EQ(object.references.load(), 2u);

    void* found = nullptr;
    ASSERT_EQ(Ask(kTestClass, &found, CLSCTX_INPROC_SERVER, kHostServicesInterface), S_OK);
    EXPECT_EQ(found, static_cast<IHostServices*>(&object));
    EXPECT_EQ(object.references.load(), 3u);  // the caller's reference
    static_cast<IUnknown*>(found)->Release();
    EXPECT_EQ(Ask(kTestClass, &found, kAnyClassContext, kOtherInterface), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);

    OnNewThread([] {  // another thread, another apartment: not found there
      OleThread other;
      void* elsewhere = nullptr;
      EXPECT_EQ(Ask(kTestClass, &elsewhere), REGDB_E_CLASSNOTREG);
    });

    first.Revoke();
    EXPECT_EQ(object.references.load(), 1u);
    EXPECT_EQ(Ask(kTestClass, &found), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Ask(kHostServicesClass, &found), S_OK);
    static_cast<IUnknown*>(found)->Release();
  });
  EXPECT_EQ(object.references.load(), 0u);
}

TEST(Com, LastUninitialiseRevokesTheThreadsRegistrations) {
  FakeHostServices object;
  OnNewThread([&] {
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kTestClass, &object, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(object.references.load(), 1u);
    OleUninitialize();
    EXPECT_EQ(object.references.load(), 0u);
    OleThread again;
    void* found = nullptr;
    EXPECT_EQ(Ask(kTestClass, &found), REGDB_E_CLASSNOTREG);
    EXPECT_TRUE(FAILED(CoRevokeClassObject(cookie)));  // gone with its apartment
  });
}

}  // namespace
