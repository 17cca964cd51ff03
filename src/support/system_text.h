// The system's text for a message number, as Windows words it (the final line break kept).
#pragma once

#include "platform/win32.h"
#include "support/orx_string.h"

// At most room - 1 characters are asked for; empty when the system has no such text or it is
// longer.
OrxString SystemText(DWORD messageId, DWORD room);
