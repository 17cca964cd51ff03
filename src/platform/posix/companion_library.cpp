// The host's companion library "Hvx.dll", simulated beside the host executable. Its class object
// does nothing the plug-in needs; what matters is that it can be asked for and registered.
#include "platform/posix/control.h"
#include "plugin/host_identifiers.h"

#include <atomic>
#include <string>

namespace {

class CompanionClassObject final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    AddRef();
    *object = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // static: never deleted
  long References() const { return static_cast<long>(references_.load()); }

 private:
  std::atomic<ULONG> references_{0};
};

CompanionClassObject companion;

HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (classId != kCompanionClass) return CLASS_E_CLASSNOTAVAILABLE;
  return companion.QueryInterface(iid, object);
}

struct Installer {
  Installer() { posix::InstallCompanionLibrary(); }
} installer;

}  // namespace

namespace posix {

void InstallCompanionLibrary() {
  wchar_t executable[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, executable, MAX_PATH);
  std::wstring path(executable, n < MAX_PATH ? n : 0);
  path.erase(path.find_last_of(L"\\/") + 1);
  auto entry = reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&DllGetClassObject));
  RegisterModule(path + kCompanionLibraryName, {{kCompanionEntryName, entry}});
}

long CompanionClassObjectReferences() { return companion.References(); }

}  // namespace posix
