// The host services object registered on the main thread of the Windows test programs.
#pragma once

#include "testing/fake_host_services.h"

testing_support::FakeHostServices& TestHostServices();
HRESULT RegisterHostServices();  // on the main thread, where the environment has started OLE
void RevokeHostServices();
