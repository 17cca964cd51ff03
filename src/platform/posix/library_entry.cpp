// What the Windows loader does for a DLL, done for the shared library when it is loaded and
// unloaded, and when a thread ends while it is loaded.
#include "platform/posix/control.h"
#include "plugin/library.h"

namespace {

void OnThreadExit() {
  try {
    LibraryThreadDetach();
  } catch (...) {
  }
}

__attribute__((constructor)) void OnLoad() {
  try {
    LibraryAttach(posix::PluginModuleHandle());
  } catch (...) {
  }
  posix::AddThreadExitHandler(&OnThreadExit);
}

__attribute__((destructor)) void OnUnload() {
  posix::HoldLoaderLock(true);
  try {
    LibraryDetach();
  } catch (...) {
  }
  // Before the code goes: a thread ending now finds the handler gone, or this waits for it.
  posix::RemoveThreadExitHandler(&OnThreadExit);
  posix::HoldLoaderLock(false);
}

}  // namespace
