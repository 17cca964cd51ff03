// Automation strings with the system's layout: a 32-bit byte count, the characters, then a zero
// character, in one allocation whose address is the count's.
#include "platform/win32.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kPrefix = sizeof(uint32_t);

BSTR Allocate(const void* data, UINT bytes) {
  // Room for a whole zero character after the data even when the byte count is odd.
  if (bytes > std::numeric_limits<uint32_t>::max() - kPrefix - 2 * sizeof(OLECHAR)) return nullptr;
  std::size_t total = kPrefix + bytes + 2 * sizeof(OLECHAR);
  auto* block = static_cast<unsigned char*>(std::calloc(1, total));
  if (!block) return nullptr;
  uint32_t count = bytes;
  std::memcpy(block, &count, kPrefix);
  if (data) std::memcpy(block + kPrefix, data, bytes);
  return reinterpret_cast<BSTR>(block + kPrefix);
}

unsigned char* Block(BSTR text) { return reinterpret_cast<unsigned char*>(text) - kPrefix; }

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
  return Allocate(text, static_cast<UINT>(length * sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) { return Allocate(bytes, length); }

UINT SysStringLen(BSTR text) {
  if (!text) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, Block(text), kPrefix);
  return static_cast<UINT>(bytes / sizeof(OLECHAR));
}

void SysFreeString(BSTR text) {
  if (text) std::free(Block(text));
}
