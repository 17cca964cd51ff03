// The Windows loader's entry point into the plug-in.
#include "plugin/library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  try {
    if (reason == DLL_PROCESS_ATTACH) LibraryAttach(instance);
    if (reason == DLL_THREAD_DETACH) LibraryThreadDetach();
    if (reason == DLL_PROCESS_DETACH) LibraryDetach(reserved != nullptr);
    return TRUE;
  } catch (...) {
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
  }
}
