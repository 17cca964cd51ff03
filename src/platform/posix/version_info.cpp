// Version resources: a module's VS_VERSIONINFO block, laid out as Windows stores it (nodes of
// length, value length, type, UTF-16 key, value and children, each aligned to four bytes), read
// by the system's rules. The buffer that GetFileVersionInfoW fills holds the block, a marker,
// then every UTF-16 unit of the block widened to a wchar_t, so that text values can be handed
// out as wide strings in place.
#include "platform/win32.h"

#include <cstring>
#include <cwctype>
#include <string>

namespace {

constexpr WORD kVersionResource = 1;
constexpr uint32_t kWideCopyMarker = 0x43575350;  // "PSWC"
constexpr size_t kHeaderBytes = 3 * sizeof(uint16_t);
constexpr uint16_t kTextType = 1;

size_t Align4(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

uint16_t Unit(const unsigned char* bytes, size_t offset) {
  uint16_t value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

struct Node {
  size_t end;  // offset just past the node (before its padding)
  uint16_t valueLength;  // units of text, or bytes of binary data
  uint16_t type;
  size_t key;  // offset of the key's first unit
  size_t value;
  size_t children;
};

// The node at offset, which must lie before limit; false when the bytes do not form one.
bool ParseNode(const unsigned char* block, size_t offset, size_t limit, Node& node) {
  if (offset + kHeaderBytes > limit) return false;
  size_t length = Unit(block, offset);
  if (length < kHeaderBytes || offset + length > limit) return false;
  node.end = offset + length;
  node.valueLength = Unit(block, offset + 2);
  node.type = Unit(block, offset + 4);
  node.key = offset + kHeaderBytes;
  size_t at = node.key;
  while (at + 2 <= node.end && Unit(block, at) != 0) at += 2;
  if (at + 2 > node.end) return false;
  node.value = Align4(at + 2);
  size_t valueBytes = node.type == kTextType ? 2u * node.valueLength : node.valueLength;
  if (node.value + valueBytes > node.end) return false;
  node.children = Align4(node.value + valueBytes);
  return true;
}

bool KeyEquals(const unsigned char* block, const Node& node, const std::wstring& key) {
  size_t at = node.key;
  for (wchar_t wanted : key) {
    auto unit = static_cast<wint_t>(Unit(block, at));
    if (std::towlower(unit) != std::towlower(static_cast<wint_t>(wanted))) return false;
    at += 2;
  }
  return Unit(block, at) == 0;
}

bool FindChild(const unsigned char* block, const Node& parent, const std::wstring& key, Node& child) {
  for (size_t at = parent.children; at < parent.end;) {
    if (!ParseNode(block, at, parent.end, child)) return false;
    if (KeyEquals(block, child, key)) return true;
    at = Align4(child.end);
  }
  return false;
}

size_t RootLength(const unsigned char* block) { return Unit(block, 0); }
size_t WideCopyOffset(size_t rootLength) { return Align4(rootLength) + sizeof kWideCopyMarker; }
size_t BufferSize(size_t rootLength) {
  return WideCopyOffset(rootLength) + (rootLength / 2 + 1) * sizeof(wchar_t);
}

// The module's version resource, or null with the system's error set.
const unsigned char* VersionResource(LPCWSTR file, size_t& rootLength) {
  HMODULE module = file ? GetModuleHandleW(file) : nullptr;
  if (!module) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kVersionResource), RT_VERSION);
  const auto* data = found ? static_cast<const unsigned char*>(LockResource(LoadResource(module, found))) : nullptr;
  size_t size = found ? SizeofResource(module, found) : 0;
  if (!data || size < kHeaderBytes || RootLength(data) < kHeaderBytes || RootLength(data) > size) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  rootLength = RootLength(data);
  return data;
}

}  // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle) {
  if (handle) *handle = 0;
  size_t rootLength = 0;
  if (!VersionResource(file, rootLength)) return 0;
  return static_cast<DWORD>(BufferSize(rootLength));
}

BOOL GetFileVersionInfoW(LPCWSTR file, DWORD, DWORD length, LPVOID data) {
  size_t rootLength = 0;
  const unsigned char* resource = VersionResource(file, rootLength);
  if (!resource) return FALSE;
  if (!data || length < BufferSize(rootLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* out = static_cast<unsigned char*>(data);
  std::memset(out, 0, BufferSize(rootLength));
  std::memcpy(out, resource, rootLength);
  std::memcpy(out + Align4(rootLength), &kWideCopyMarker, sizeof kWideCopyMarker);
  unsigned char* wide = out + WideCopyOffset(rootLength);
  for (size_t at = 0; at + 2 <= rootLength; at += 2) {
    wchar_t unit = Unit(resource, at);
    std::memcpy(wide + at / 2 * sizeof(wchar_t), &unit, sizeof unit);
  }
  return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
  if (!block || !subBlock || !buffer || !length) return FALSE;
  const auto* bytes = static_cast<const unsigned char*>(block);
  Node node;
  if (!ParseNode(bytes, 0, RootLength(bytes), node)) return FALSE;
  std::wstring path = subBlock;
  for (size_t start = 0; start <= path.size();) {
    size_t stop = path.find(L'\\', start);
    if (stop == std::wstring::npos) stop = path.size();
    if (stop > start) {
      Node child;
      if (!FindChild(bytes, node, path.substr(start, stop - start), child)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
      }
      node = child;
    }
    start = stop + 1;
  }
  *length = node.valueLength;
  if (node.type != kTextType) {
    *buffer = const_cast<unsigned char*>(bytes + node.value);
    return TRUE;
  }
  static const wchar_t kEmpty[] = L"";
  if (node.valueLength == 0) {
    *buffer = const_cast<wchar_t*>(kEmpty);
    return TRUE;
  }
  size_t rootLength = RootLength(bytes);
  uint32_t marker;
  std::memcpy(&marker, bytes + Align4(rootLength), sizeof marker);
  if (marker != kWideCopyMarker) return FALSE;  // a bare resource, not a buffer from GetFileVersionInfoW
  *buffer = const_cast<unsigned char*>(bytes + WideCopyOffset(rootLength) + node.value / 2 * sizeof(wchar_t));
  return TRUE;
}
