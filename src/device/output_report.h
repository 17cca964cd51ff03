// Sending one output report through the HID library.
#pragma once

#include "platform/win32.h"

#include <cstdint>

namespace Kestrel {

// 0 once the report was sent, else the reason it was not. The library's BOOLEAN result says
// which: the last error names a failure only, and may hold anything after a success (Wine's
// hid.dll leaves ERROR_IO_PENDING there).
uint32_t WriteOutputReport(HANDLE hid, uint8_t* report, int length);

}  // namespace Kestrel
