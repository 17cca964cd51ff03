#include "support/system_text.h"

#include <vector>

namespace {
constexpr DWORD kUserDefaultLanguage = 0x400;
}

OrxString SystemText(DWORD messageId, DWORD room) {
  std::vector<wchar_t> buffer(static_cast<size_t>(room) + 1, L'\0');
  DWORD written = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, messageId,
                                 kUserDefaultLanguage, buffer.data(), room, nullptr);
  if (written == 0 || written >= buffer.size()) return OrxString();
  return OrxString(buffer.data(), static_cast<int>(written));
}
