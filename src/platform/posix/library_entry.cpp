// What the Windows loader does for a DLL, done for the shared library when it is loaded and
// unloaded.
#include "platform/posix/control.h"
#include "plugin/library.h"

namespace {

__attribute__((constructor)) void OnLoad() {
  try {
    LibraryAttach(posix::PluginModuleHandle());
  } catch (...) {
  }
}

__attribute__((destructor)) void OnUnload() {
  posix::HoldLoaderLock(true);
  try {
    LibraryDetach();
  } catch (...) {
  }
  posix::HoldLoaderLock(false);
}

}  // namespace
