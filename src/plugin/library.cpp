#include "plugin/library.h"

#include "discovery/setupapi_library.h"
#include "plugin/device_table.h"
#include "plugin/host_connection.h"
#include "plugin/message_quotes.h"
#include "plugin/module_version.h"

#include <atomic>

namespace {
std::atomic<HMODULE> moduleHandle{nullptr};
}

HMODULE PluginModuleHandle() { return moduleHandle.load(); }

void LibraryAttach(HMODULE module) {
  moduleHandle.store(module);
  Kestrel::ReportCapture::SetPluginVersion(ReadModuleVersion(module).fileVersion);
  Kestrel::DevOrxHID::SetLibraryUnloading(false);
  DeviceTable::Instance().CloseAll();
  // The announcement is a courtesy to the host: its failure never stops the plug-in loading.
  HostConnection::Process().AnnouncePreRelease(module);
}

void LibraryDetach(bool processEnding) {
  // The readers are gone with the other threads: nothing would ever answer a close's wait.
  if (processEnding) return;
  Kestrel::DevOrxHID::SetLibraryUnloading(true);
  DeviceTable::Instance().CloseAll();
  SetupApiTable::Instance().Release();
  moduleHandle.store(nullptr);
  HostConnection::Process().Release();
}

void LibraryThreadDetach() { MessageQuotes::ForgetThread(GetCurrentThreadId()); }
