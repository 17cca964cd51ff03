// What the plug-in reads from a module's version resource.
#pragma once

#include "platform/win32.h"
#include "support/orx_string.h"

extern const wchar_t kVersionTextUnavailable[];  // "N/A"

struct ModuleVersion {
  bool fixedPartRead = false;
  DWORD fileVersionLS = 0;  // the third and fourth parts of the file version
  OrxString fileVersion = kVersionTextUnavailable;  // the FileVersion string
  OrxString description = kVersionTextUnavailable;  // the FileDescription string
};

// Texts that cannot be read stay "N/A".
ModuleVersion ReadModuleVersion(HMODULE module);
