#include "plugin/library.h"

#include "discovery/setupapi_library.h"
#include "plugin/device_table.h"

#include <atomic>

namespace {
std::atomic<HMODULE> moduleHandle{nullptr};
}

HMODULE PluginModuleHandle() { return moduleHandle.load(); }

void LibraryAttach(HMODULE module) {
  moduleHandle.store(module);
  DeviceTable::Instance().CloseAll();
}

void LibraryDetach() {
  DeviceTable::Instance().CloseAll();
  SetupApiTable::Instance().Release();
  moduleHandle.store(nullptr);
}
