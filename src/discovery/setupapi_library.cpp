#include "discovery/setupapi_library.h"

#include "discovery/proc_address.h"

namespace {

const wchar_t kSetupApiLibraryName[] = L"SETUPAPI.DLL";

// The table is filled when the module is loaded, before any export can be called.
struct AcquiredAtLoad {
  AcquiredAtLoad() { SetupApiTable::Instance().Acquire(); }
} acquiredAtLoad;

}  // namespace

SetupApiTable& SetupApiTable::Instance() {
  static SetupApiTable table;  // constant-initialised: ready before the acquisition above
  return table;
}

void SetupApiTable::Acquire() {
  if (useCount.fetch_add(1) != 0) return;
  HMODULE module = LoadLibraryW(kSetupApiLibraryName);
  if (module && ResolveAll(module)) {
    library.store(module, std::memory_order_release);
    return;
  }
  if (module) FreeLibrary(module);
  ClearEntries();
  useCount.store(0);
}

void SetupApiTable::Release() {
  if (useCount.load() == 0) return;
  if (useCount.fetch_sub(1) != 1) return;
  if (HMODULE module = library.exchange(nullptr)) FreeLibrary(module);
  ClearEntries();
}

// In order; the first entry missing under both its names ends the resolution. The enumeration
// entry tries its old name first, the detail entry its new one.
bool SetupApiTable::ResolveAll(HMODULE module) {
  using Discovery::Resolve;
  return Resolve(module, "SetupDiGetDeviceInstanceIdW", getDeviceInstanceId) &&
         (Resolve(module, "SetupDiGetDeviceInterfaceDetailW", getInterfaceDetail) ||
          Resolve(module, "SetupDiGetInterfaceDeviceDetailW", getInterfaceDetail)) &&
         (Resolve(module, "SetupDiEnumInterfaceDevice", enumerateInterfaces) ||
          Resolve(module, "SetupDiEnumDeviceInterfaces", enumerateInterfaces)) &&
         Resolve(module, "SetupDiGetClassDevsW", getClassDevices) &&
         Resolve(module, "SetupDiDestroyDeviceInfoList", destroyInfoList) &&
         Resolve(module, "SetupDiGetDeviceRegistryPropertyW", getRegistryProperty);
}

void SetupApiTable::ClearEntries() {
  getDeviceInstanceId = nullptr;
  getInterfaceDetail = nullptr;
  enumerateInterfaces = nullptr;
  getClassDevices = nullptr;
  destroyInfoList = nullptr;
  getRegistryProperty = nullptr;
}

void SetupApiTable::ResetForTesting() {
  if (HMODULE module = library.exchange(nullptr)) FreeLibrary(module);
  ClearEntries();
  useCount.store(0);
}
