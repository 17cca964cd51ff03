// Paths of loaded modules, in the system's canonical form.
#pragma once

#include "platform/win32.h"

#include <string>

// The file of a loaded module (null: the process's executable); empty when it cannot be told.
std::wstring ModuleFileName(HMODULE module);
// The full, canonical form of a path; the path itself when the system cannot give one.
std::wstring FullPathName(const std::wstring& path);
