// SETUPAPI.DLL, bound at run time: the process-wide table of the entry points the device
// enumeration calls. Acquired when the plug-in is loaded, released when it is unloaded.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstdint>

class SetupApiTable {
 public:
  static SetupApiTable& Instance();

  // Counts a use; the first loads the library. A failed load leaves the count at 0.
  void Acquire();
  // Gives back a use; the last frees the library.
  void Release();
  // What callers test before they create or walk a device-information set; each also tests the
  // entry it is about to call.
  bool Usable() const {
    return useCount.load() != 0 && library.load(std::memory_order_acquire) != nullptr && enumerateInterfaces &&
           getInterfaceDetail && getDeviceInstanceId;
  }
  HMODULE Library() const { return library.load(std::memory_order_acquire); }
  int32_t UseCount() const { return useCount.load(); }

  // For tests only: forget everything, as if the plug-in had never been loaded.
  void ResetForTesting();

  // The entries, in the order of resolution; two of them under either of two names.
  decltype(&::SetupDiGetDeviceInstanceIdW) getDeviceInstanceId = nullptr;
  decltype(&::SetupDiGetDeviceInterfaceDetailW) getInterfaceDetail = nullptr;
  decltype(&::SetupDiEnumDeviceInterfaces) enumerateInterfaces = nullptr;
  decltype(&::SetupDiGetClassDevsW) getClassDevices = nullptr;
  decltype(&::SetupDiDestroyDeviceInfoList) destroyInfoList = nullptr;
  decltype(&::SetupDiGetDeviceRegistryPropertyW) getRegistryProperty = nullptr;

 private:
  constexpr SetupApiTable() = default;
  bool ResolveAll(HMODULE module);
  void ClearEntries();

  std::atomic<int32_t> useCount{0};
  std::atomic<HMODULE> library{nullptr};
};
