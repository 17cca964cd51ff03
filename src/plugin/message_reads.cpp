#include "plugin/message_reads.h"

#include "plugin/message_quotes.h"
#include "support/message_text.h"

namespace {
constexpr int kPluginIndex = -1;
constexpr uint64_t kPluginSource = 0;
}  // namespace

int ReadPluginMessage(const OrxString& text, char* buffer) {
  int size = DeliverMessage(text, nullptr);
  if (!buffer) {
    MessageQuotes::Keep(kPluginIndex, MessageQuote{kPluginSource, 0, text, size});
    return size;
  }
  // Told, the host gets the text it was told of (nothing is stored, so nothing waits); never told,
  // it knows its room, as the Parts have it.
  MessageQuote quote;
  return DeliverMessage(MessageQuotes::Take(kPluginIndex, quote) ? quote.text : text, buffer);
}

int ReadDeviceMessage(int index, Kestrel::DevOrxHID& device, char* buffer) {
  Kestrel::DevOrxHID::MessageSnapshot now = device.LastErrorSnapshot();
  if (!buffer) {
    int size = DeliverMessage(now.text, nullptr);
    MessageQuotes::Keep(index, MessageQuote{device.Identity(), now.version, now.text, size});
    return size;
  }
  MessageQuote quote;
  if (!MessageQuotes::Take(index, quote)) return device.GetLastErrorMsg(buffer);
  if (quote.source == device.Identity()) {
    // The text it was told of; cleared unless a newer one came since, which waits for its read.
    device.TakeLastError(quote.version);
    return DeliverMessage(quote.text, buffer);
  }
  // Another device took the index since: its message only if it fits the room the host was told
  // of, else nothing is taken and it waits for a read that asks first.
  if (DeliverMessage(now.text, nullptr) > quote.size) return DeliverMessage(OrxString(), buffer);
  device.TakeLastError(now.version);
  return DeliverMessage(now.text, buffer);
}
