// A stand-in for the host's companion library "Hvx.dll", built beside the Windows test programs
// as the host installs it beside its executable: it serves the companion class and nothing else.
#include "plugin/host_identifiers.h"

namespace {

// The SDK's IUnknown has a public non-virtual destructor; nothing is ever deleted through it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CompanionClassObject final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    *object = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static: never deleted
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};
#pragma GCC diagnostic pop

CompanionClassObject companion;

}  // namespace

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (classId != kCompanionClass) return CLASS_E_CLASSNOTAVAILABLE;
  return companion.QueryInterface(iid, object);
}
