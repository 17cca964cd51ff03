// The fall-back that makes the host's companion class available when the host services cannot
// be found: OLE on the calling thread, then the companion library beside the host's executable.
#include "plugin/host_connection.h"

#include "plugin/module_path.h"
#include "support/exceptions.h"

namespace {

using GetClassObjectEntry = HRESULT(WINAPI*)(REFCLSID classId, REFIID iid, LPVOID* object);

const wchar_t kLoadFailedText[] = L"Kymora failed to load ";
const wchar_t kLoadFailedCaption[] = L"Kymora load failed";
constexpr size_t kLoadFailedTextLimit = 511;
constexpr UINT kLoadFailedExitCode = static_cast<UINT>(-1);

}  // namespace

std::wstring CompanionLibraryPath() {
  std::wstring executable = ModuleFileName(nullptr);
  std::wstring directory = executable.substr(0, executable.find_last_of(L"\\/:") + 1);
  return FullPathName(directory + kCompanionLibraryName);
}

void HostConnection::FailToLoad(const std::wstring& path) {
  std::wstring text = kLoadFailedText + path;
  if (text.size() > kLoadFailedTextLimit) text.resize(kLoadFailedTextLimit);
  MessageBoxW(nullptr, text.c_str(), kLoadFailedCaption, MB_OK | MB_ICONERROR);
  ExitProcess(kLoadFailedExitCode);
}

void HostConnection::RegisterCompanion() {
  void* registered = nullptr;
  if (SUCCEEDED(CoGetClassObject(kCompanionClass, kAnyClassContext, nullptr, IID_IUnknown, &registered))) {
    static_cast<IUnknown*>(registered)->Release();
    return;
  }
  if (!oleStarted_) {
    oleStarted_ = true;
    HRESULT result = OleInitialize(nullptr);
    if (SUCCEEDED(result)) {  // S_FALSE counts too, and is balanced at release like S_OK
      oleToUninitialise_ = true;
      oleThread_ = GetCurrentThreadId();
    }
    if (result != S_OK) ThrowXOrx(result);
  }
  if (companionLoaded_) return;
  companionLoaded_ = true;
  std::wstring path = CompanionLibraryPath();
  companionLibrary_ = LoadLibraryW(path.c_str());
  FARPROC entry = companionLibrary_ ? GetProcAddress(companionLibrary_, kCompanionEntryName) : nullptr;
  if (!entry) FailToLoad(path);
  auto getClassObject = reinterpret_cast<GetClassObjectEntry>(reinterpret_cast<void*>(entry));
  IUnknown* object = nullptr;
  HRESULT result = getClassObject(kCompanionClass, IID_IUnknown, reinterpret_cast<void**>(&object));
  if (FAILED(result)) throw XHResult{result};
  if (!object) throw XHResult{E_POINTER};
  result = CoRegisterClassObject(kCompanionClass, object, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                 &companionRegistration_);
  object->Release();
  if (FAILED(result)) {
    companionRegistration_ = 0;
    throw XHResult{result};
  }
}
