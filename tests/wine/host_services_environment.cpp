// The Windows test programs that load the plug-in act as its host: OLE on the main thread and the
// host services class object registered before any test runs, as the recording application has
// them before it loads device plug-ins.
#include "host_services_environment.h"

#include <gtest/gtest.h>

namespace {

testing_support::FakeHostServices hostServices;

class HostServicesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    ASSERT_EQ(RegisterHostServices(), S_OK);
  }
  void TearDown() override {
    RevokeHostServices();
    OleUninitialize();
  }
};

DWORD cookie = 0;

const auto* const environment = ::testing::AddGlobalTestEnvironment(new HostServicesEnvironment);

}  // namespace

testing_support::FakeHostServices& TestHostServices() { return hostServices; }

HRESULT RegisterHostServices() {
  return CoRegisterClassObject(kHostServicesClass, &hostServices, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
}

void RevokeHostServices() {
  if (cookie != 0) CoRevokeClassObject(cookie);
  cookie = 0;
}
