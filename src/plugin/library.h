// The plug-in as a loaded library: its module handle, and what load and unload do.
#pragma once

#include "platform/win32.h"

HMODULE PluginModuleHandle();

void LibraryAttach(HMODULE module);
void LibraryDetach();
