// What each host thread was last told of a message's size, by index (-1: the plug-in's own
// message), so that its read with a buffer never writes more than it was told: the host sizes its
// buffer from that answer, and meanwhile another thread may close everything, another device may
// take the index, or a newer, longer message may come. A quote lives until its thread reads, until
// that device gives its thread an abort or disconnect line (news of a new message), or until its
// thread ends; it holds the text it was told.
#pragma once

#include "platform/win32.h"
#include "support/orx_string.h"

#include <cstddef>
#include <cstdint>

struct MessageQuote {
  uint64_t source = 0;  // the device's identity, or 0 for the plug-in's own message
  uint64_t version = 0;
  OrxString text;
  int size = 0;  // what the thread was told: the text's length and its terminator
};

namespace MessageQuotes {

// For the calling thread.
void Keep(int index, const MessageQuote& quote);
bool Take(int index, MessageQuote& quote);
// The calling thread was told of a new message at that index: a quote of it is spent.
void Spend(int index);
// A thread that ends: its quotes go with it (DLL_THREAD_DETACH, or the platform's exit hook).
void ForgetThread(DWORD thread);
// Threads that hold a quote now, for the tests' eyes.
size_t ThreadsHeld();

}  // namespace MessageQuotes
