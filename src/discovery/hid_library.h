// hid.dll, bound at run time: the process-wide table of the entry points the plug-in calls.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstdint>

class HidDllTable {
 public:
  static HidDllTable& Instance();

  // Counts a use; the first loads the library and resolves every entry. When that fails the
  // library stays unavailable for the life of the process: later uses do not try again.
  void Acquire();
  // Whether the entries may be called: the library was loaded with all ten of them.
  bool Usable() const { return library.load(std::memory_order_acquire) != nullptr; }
  HMODULE Library() const { return library.load(std::memory_order_acquire); }
  int32_t UseCount() const { return useCount.load(); }

  // For tests only: forget everything, as if the process had just started.
  void ResetForTesting();

  // The entries, filled before the library handle is published.
  decltype(&::HidD_GetHidGuid) HidD_GetHidGuid = nullptr;
  decltype(&::HidD_GetAttributes) HidD_GetAttributes = nullptr;
  decltype(&::HidD_GetProductString) HidD_GetProductString = nullptr;
  decltype(&::HidD_GetManufacturerString) HidD_GetManufacturerString = nullptr;
  decltype(&::HidD_GetSerialNumberString) HidD_GetSerialNumberString = nullptr;
  decltype(&::HidD_GetPreparsedData) HidD_GetPreparsedData = nullptr;
  decltype(&::HidD_FreePreparsedData) HidD_FreePreparsedData = nullptr;
  decltype(&::HidD_SetFeature) HidD_SetFeature = nullptr;
  decltype(&::HidD_GetFeature) HidD_GetFeature = nullptr;
  decltype(&::HidD_SetOutputReport) HidD_SetOutputReport = nullptr;

 private:
  constexpr HidDllTable() = default;
  bool ResolveAll(HMODULE module);
  void ClearEntries();

  std::atomic<int32_t> useCount{0};
  std::atomic<HMODULE> library{nullptr};
};
