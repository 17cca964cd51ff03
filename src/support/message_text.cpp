#include "support/message_text.h"

#include "support/locale_info.h"

int DeliverMessage(const OrxString& message, char* buffer) {
  int size = static_cast<int>(message.Length()) + 1;
  // An empty message (or one that will not convert) still gets its terminator: a host that
  // allocated the one byte it was told of reads a string.
  if (buffer && !WideToNarrowBuffer(message, buffer, static_cast<uint32_t>(size), LocaleInfo::Instance().codePage))
    buffer[0] = '\0';
  return size;
}
