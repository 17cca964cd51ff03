// The Windows loader's entry point into the plug-in.
#include "plugin/library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  try {
    if (reason == DLL_PROCESS_ATTACH) LibraryAttach(instance);
    if (reason == DLL_PROCESS_DETACH) LibraryDetach();
    return TRUE;
  } catch (...) {
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
  }
}
