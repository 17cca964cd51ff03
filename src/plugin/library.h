// The plug-in as a loaded library: its module handle, and what load and unload do.
#pragma once

#include "platform/win32.h"

HMODULE PluginModuleHandle();

void LibraryAttach(HMODULE module);
// processEnding: the whole process goes, and Windows has ended every other thread already.
void LibraryDetach(bool processEnding = false);
// A thread of the process ends: what the plug-in keeps for it goes with it.
void LibraryThreadDetach();
