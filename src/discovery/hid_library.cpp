#include "discovery/hid_library.h"

#include "discovery/proc_address.h"

namespace {
const wchar_t kHidLibraryName[] = L"hid.dll";
const char kNotLoadedMessage[] = "HID DLL not loaded\n";
}  // namespace

HidDllTable& HidDllTable::Instance() {
  static HidDllTable table;  // constant-initialised: usable from any static initialiser
  return table;
}

void HidDllTable::Acquire() {
  if (useCount.fetch_add(1) != 0) return;
  HMODULE module = LoadLibraryW(kHidLibraryName);
  if (module && ResolveAll(module)) {
    library.store(module, std::memory_order_release);
    return;
  }
  OutputDebugStringA(kNotLoadedMessage);
  if (module) FreeLibrary(module);
  ClearEntries();  // nothing may point into a library that is gone
}

// In order; the first missing name ends the resolution.
bool HidDllTable::ResolveAll(HMODULE module) {
  using Discovery::Resolve;
  return Resolve(module, "HidD_GetHidGuid", HidD_GetHidGuid) &&
         Resolve(module, "HidD_GetAttributes", HidD_GetAttributes) &&
         Resolve(module, "HidD_GetProductString", HidD_GetProductString) &&
         Resolve(module, "HidD_GetManufacturerString", HidD_GetManufacturerString) &&
         Resolve(module, "HidD_GetSerialNumberString", HidD_GetSerialNumberString) &&
         Resolve(module, "HidD_GetPreparsedData", HidD_GetPreparsedData) &&
         Resolve(module, "HidD_FreePreparsedData", HidD_FreePreparsedData) &&
         Resolve(module, "HidD_SetFeature", HidD_SetFeature) &&
         Resolve(module, "HidD_GetFeature", HidD_GetFeature) &&
         Resolve(module, "HidD_SetOutputReport", HidD_SetOutputReport);
}

void HidDllTable::ClearEntries() {
  HidD_GetHidGuid = nullptr;
  HidD_GetAttributes = nullptr;
  HidD_GetProductString = nullptr;
  HidD_GetManufacturerString = nullptr;
  HidD_GetSerialNumberString = nullptr;
  HidD_GetPreparsedData = nullptr;
  HidD_FreePreparsedData = nullptr;
  HidD_SetFeature = nullptr;
  HidD_GetFeature = nullptr;
  HidD_SetOutputReport = nullptr;
}

void HidDllTable::ResetForTesting() {
  if (HMODULE module = library.exchange(nullptr)) FreeLibrary(module);
  ClearEntries();
  useCount.store(0);
}
