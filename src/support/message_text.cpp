#include "support/message_text.h"

#include "support/locale_info.h"

int DeliverMessage(const OrxString& message, char* buffer) {
  int size = static_cast<int>(message.Length()) + 1;
  if (buffer) WideToNarrowBuffer(message, buffer, static_cast<uint32_t>(size), LocaleInfo::Instance().codePage);
  return size;
}
