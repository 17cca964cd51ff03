// The size each host thread was last told a message takes, whichever device it asked about (or
// the plug-in itself). A thread's next read with a buffer never writes more, even when the index
// it reads from now holds another device (CloseAll and FindDevice on another thread between the
// two calls) or the plug-in's own message changed meanwhile.
#pragma once

#include "platform/win32.h"

#include <functional>

// Answers GetLastErrorMsg for the calling thread: deliver(nullptr) gives the size and is noted;
// deliver(buffer) fills a buffer and is held to the size noted last, if any.
int DeliverWithinQuote(char* buffer, const std::function<int(char*)>& deliver);
