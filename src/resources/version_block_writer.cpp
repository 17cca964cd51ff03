// Writes a VS_VERSIONINFO block laid out as the Windows resource compiler lays it out, for native
// builds, which have none: nodes of length, value length, type, UTF-16 key, value and children,
// each aligned to four bytes.
//
// usage: version_block_writer OUTPUT F1 F2 F3 F4 P1 P2 P3 P4 FLAGSMASK FLAGS OS TYPE SUBTYPE
//                             LANGUAGE CODEPAGE [KEY VALUE]...
// (file and product version in four parts each; numbers in C notation; ASCII texts)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSignature = 0xFEEF04BD;
constexpr uint32_t kStructureVersion = 0x00010000;
constexpr uint16_t kBinary = 0;
constexpr uint16_t kText = 1;
constexpr int kFixedArguments = 16;

void Put16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void Put32(Bytes& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void Align(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// ASCII to UTF-16 with its terminator; the resource script that Windows builds compile holds the
// same texts, and only ASCII reads the same there whatever the compiler's code page.
bool PutText(Bytes& out, const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
    Put16(out, static_cast<unsigned char>(c));
  }
  Put16(out, 0);
  return true;
}

Bytes Node(const std::string& key, uint16_t type, const Bytes& value, uint16_t valueLength,
           const std::vector<Bytes>& children) {
  Bytes out(6, 0);
  PutText(out, key);
  Align(out);
  out.insert(out.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    Align(out);
    out.insert(out.end(), child.begin(), child.end());
  }
  Bytes header;
  Put16(header, static_cast<uint32_t>(out.size()));
  Put16(header, valueLength);
  Put16(header, type);
  std::copy(header.begin(), header.end(), out.begin());
  return out;
}

uint32_t Number(const char* text) { return static_cast<uint32_t>(std::strtoul(text, nullptr, 0)); }

std::string Hex4(uint32_t value) {
  char text[5];
  std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 1 + kFixedArguments || (argc - 1 - kFixedArguments) % 2 != 0) {
    std::fprintf(stderr, "version_block_writer: wrong arguments\n");
    return 1;
  }
  const char* output = argv[1];
  auto at = [&](int i) { return Number(argv[2 + i]); };

  Bytes fixed;
  for (uint32_t value : {kSignature, kStructureVersion, at(0) << 16 | at(1), at(2) << 16 | at(3),
                         at(4) << 16 | at(5), at(6) << 16 | at(7), at(8), at(9), at(10), at(11), at(12), 0u, 0u})
    Put32(fixed, value);
  uint32_t language = at(13);
  uint32_t codePage = at(14);

  std::vector<Bytes> strings;
  for (int i = 1 + kFixedArguments; i + 1 < argc; i += 2) {
    Bytes value;
    std::string text = argv[i + 1];
    if (!PutText(value, text)) {
      std::fprintf(stderr, "version_block_writer: %s is not ASCII\n", argv[i]);
      return 1;
    }
    strings.push_back(Node(argv[i], kText, value, static_cast<uint16_t>(text.size() + 1), {}));
  }
  Bytes translation;
  Put16(translation, language);
  Put16(translation, codePage);

  Bytes table = Node(Hex4(language) + Hex4(codePage), kText, {}, 0, strings);
  Bytes stringInfo = Node("StringFileInfo", kText, {}, 0, {table});
  Bytes var = Node("Translation", kBinary, translation, static_cast<uint16_t>(translation.size()), {});
  Bytes varInfo = Node("VarFileInfo", kText, {}, 0, {var});
  Bytes root = Node("VS_VERSION_INFO", kBinary, fixed, static_cast<uint16_t>(fixed.size()), {stringInfo, varInfo});

  if (root.size() > 0xFFFF) {
    std::fprintf(stderr, "version_block_writer: the block is too long\n");
    return 1;
  }
  std::ofstream file(output, std::ios::binary);
  file.write(reinterpret_cast<const char*>(root.data()), static_cast<std::streamsize>(root.size()));
  return file ? 0 : 1;
}
