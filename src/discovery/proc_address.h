// Entry points of libraries bound at run time.
#pragma once

#include "platform/win32.h"

namespace Discovery {

// The export as the function type it really has, or null.
template <typename Function>
Function ProcAs(HMODULE library, const char* name) {
  FARPROC address = GetProcAddress(library, name);
  // Through void (*)(): the one function-pointer cast the compilers accept without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// Resolves one entry; false when the library lacks the name.
template <typename Function>
bool Resolve(HMODULE library, const char* name, Function& entry) {
  entry = ProcAs<Function>(library, name);
  return entry != nullptr;
}

}  // namespace Discovery
