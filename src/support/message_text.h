// How every message reaches the host: the result is the length in wide characters plus one; a
// null buffer only asks for that size; otherwise the text is narrowed into the buffer in the
// message code page, at most that many bytes.
#pragma once

#include "support/orx_string.h"

int DeliverMessage(const OrxString& message, char* buffer);
