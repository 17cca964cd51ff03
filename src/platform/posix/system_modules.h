// The system libraries of the simulated world that the plug-in binds at run time. Each is
// registered when the platform layer loads; tests that removed exports register it afresh.
#pragma once

#include "platform/win32.h"

namespace posix {

void RegisterHidModule();       // "hid.dll"
void RegisterSetupApiModule();  // "SETUPAPI.DLL"
void RegisterKernelModule();    // "kernel32.dll", CancelIoEx only

// The address under which a module exports a function.
template <typename Function>
FARPROC ExportOf(Function* function) {
  // Through void (*)(): the one function-pointer cast the compilers accept without a warning.
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

}  // namespace posix
