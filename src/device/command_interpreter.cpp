// The command interpreter shared by every device: prefix, group and command word, the channel
// count, and hand-over of everything else to the device.
#include "device/dev_orx_hid.h"
#include "plugin/library.h"
#include "support/locale_info.h"

#include <cstdio>
#include <cstring>
#include <locale>
#include <sstream>

namespace Kestrel {

namespace {

constexpr int kNotANumber = -2147483647;

// The arguments after a word that NextToken split off: empty when the word ended the text.
const char* RestAfter(const char* text, int consumed) {
  return text[consumed - 1] == '/' ? text + consumed : "";
}

int ChannelNumber(const char* word) {
  // Characters 4 and 5 (counting from 1) are taken as digits without checking them.
  if (std::strlen(word) > 4) return 10 * (word[3] - '0') + (word[4] - '0');
  return word[3] - '0';
}

int ReadInteger(const char* utf8) {
  std::istringstream in(utf8);
  in.imbue(std::locale::classic());
  int value = 0;
  if (!(in >> value)) return kNotANumber;
  return value;
}

}  // namespace

int DevOrxHID::NextToken(const char* text, char* word) {
  int examined = 0;
  char c;
  do {
    c = text[examined];
    if (examined < kTokenSize) word[examined] = c;
    ++examined;
  } while (c != '/' && c != '\0');
  if (examined >= kTokenSize)
    word[kTokenSize - 1] = '\0';
  else if (c == '/')
    word[examined - 1] = '\0';
  return examined;
}

bool DevOrxHID::ParseCommandLine(const char* line) {
  if (line[0] != '>' && line[0] != '?') return false;
  const char* text = line + 1;
  char group[kTokenSize];
  int consumed = NextToken(text, group);
  const char* arguments = RestAfter(text, consumed);
  if (std::strcmp(group, "dev") == 0) return DeviceCommand(arguments);
  if (std::strcmp(group, "in") == 0) return GenericCommand(arguments);
  return false;
}

bool DevOrxHID::GenericCommand(const char* arguments) {
  char word[kTokenSize];
  int consumed = NextToken(arguments, word);
  const char* rest = RestAfter(arguments, consumed);
  if (std::strcmp(word, "nachans") == 0) {
    char reply[kTokenSize];
    std::snprintf(reply, sizeof reply, "=%d\n", ChannelCount());
    QueueReply(reply);
    return true;
  }
  if (std::strcmp(word, "sampler") == 0) return SamplerCommand(rest);
  if (std::strncmp(word, "cha", 3) == 0) return ChannelCommand(ChannelNumber(word), rest);
  if (std::strcmp(word, "controllist") == 0) return ControlListCommand();
  return false;
}

int DevOrxHID::ParseFirstNumber(const char* text) {
  OrxString trimmed = OrxString(text).Trim();
  int result = -1;
  uint32_t pos = 0;
  bool foundSpace = true;
  while (pos < trimmed.Length() && result < 0 && foundSpace) {
    uint32_t space = pos;
    while (space < trimmed.Length() && trimmed.Chars()[space] != L' ') ++space;
    foundSpace = space < trimmed.Length();
    OrxString word = trimmed.Mid(pos, space - pos);
    result = ReadInteger(word.Utf8());
    pos = space + 1;
  }
  return result;
}

void DevOrxHID::LoadTextResource(uint16_t id, OrxString& text) {
  text = OrxString();
  HMODULE module = PluginModuleHandle();
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!resource) return;
  HGLOBAL loaded = LoadResource(module, resource);
  DWORD size = SizeofResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (size != 0 && data)
    NarrowBufferToWide(static_cast<const char*>(data), text, LocaleInfo::Instance().codePage, size);
  if (loaded) FreeResource(loaded);
}

}  // namespace Kestrel
