// The support library's text handling with arbitrary input: code-page conversions both ways,
// the numbered-placeholder format stream, and the command helpers that split words and read
// numbers. Buffers are allocated to their exact size so that a write past one is caught.
#include "device/dev_orx_hid.h"
#include "fuzz_input.h"
#include "support/exceptions.h"
#include "support/format_stream.h"
#include "support/orx_string.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using fuzzing::FuzzInput;

constexpr unsigned kCodePages[] = {CP_ACP, CP_UTF8, CP_THREAD_ACP, CP_OEMCP, 1252, 1251, 437, 850, 932, 936, 949, 950, 4242};
constexpr unsigned kOemCodePage = 437;  // every byte but zero is a character, both ways
constexpr size_t kMaxText = 512;
constexpr int kMaxArguments = 24;
constexpr uint32_t kCodePoints = 0x110000;

std::wstring TakeWide(FuzzInput& in, size_t maxLength) {
  std::wstring text;
  size_t length = static_cast<size_t>(in.TakeInRange(0, static_cast<int64_t>(maxLength)));
  // Any code point, or the Basic Multilingual Plane only. Not the streams' end-of-file value,
  // which no text holds (on Linux it is 0xFFFFFFFF; U+FFFF on Windows is no character either).
  const bool anyCodePoint = in.TakeBool();
  for (size_t i = 0; i < length && !in.Empty(); ++i) {
    uint32_t unit = anyCodePoint ? in.Take<uint32_t>() % kCodePoints : in.Take<uint16_t>() % 0xFFFF;
    text.push_back(static_cast<wchar_t>(unit));
  }
  return text;
}

// Narrow text in, wide text out, and back into a buffer of any size.
void Conversions(FuzzInput& in) {
  const unsigned from = in.Pick(kCodePages);
  const unsigned to = in.Pick(kCodePages);
  std::string bytes = in.TakeBytes(kMaxText);
  uint32_t length = static_cast<uint32_t>(in.TakeInRange(0, static_cast<int64_t>(bytes.size())));
  bytes.push_back('\0');  // the function may read up to a terminator when length is 0

  OrxString wide;
  if (NarrowBufferToWide(bytes.data(), wide, from, length)) FUZZ_CHECK(wide.Chars()[wide.Length()] == 0);

  uint32_t size = static_cast<uint32_t>(in.TakeInRange(0, 2 * kMaxText));
  std::unique_ptr<char[]> buffer(size ? new char[size] : nullptr);
  if (size) std::memset(buffer.get(), 0x7F, size);
  if (WideToNarrowBuffer(wide, buffer.get(), size, to) && size)
    FUZZ_CHECK(std::memchr(buffer.get(), 0, size) != nullptr);

  // In the OEM page every byte is a character of its own: its text comes back as it was.
  std::string stretch = bytes.substr(0, std::strlen(bytes.data()));
  OrxString oem;
  if (!stretch.empty() && NarrowBufferToWide(stretch.c_str(), oem, kOemCodePage, 0)) {
    FUZZ_CHECK(oem.Length() == stretch.size());
    std::vector<char> back(stretch.size() + 1);
    FUZZ_CHECK(WideToNarrowBuffer(oem, back.data(), static_cast<uint32_t>(back.size()), kOemCodePage));
    FUZZ_CHECK(stretch == back.data());
  }
}

// Arbitrary wide text, as the host's resources or the system could hand it, narrowed.
void WideText(FuzzInput& in) {
  std::wstring text = TakeWide(in, kMaxText);
  int count = static_cast<int>(in.TakeInRange(-2, static_cast<int64_t>(text.size()) + 2));
  try {
    OrxString counted(text.c_str(), count);
    FUZZ_CHECK(counted.Length() <= text.size());
    uint32_t size = static_cast<uint32_t>(in.TakeInRange(0, 4 * kMaxText));
    std::vector<char> buffer(size);
    WideToNarrowBuffer(counted, buffer.empty() ? nullptr : buffer.data(), size, in.Pick(kCodePages));
    (void)counted.Ansi();
    (void)counted.Utf8();
  } catch (const xmsg&) {
    FUZZ_CHECK(count < 0);
  }
}

void Format(FuzzInput& in) {
  std::wstring format = TakeWide(in, kMaxText / 4);
  const bool plain = format.find(L'%') == std::wstring::npos;
  Orx::OFormatStringStream stream{OrxString(format.c_str())};
  if (plain) FUZZ_CHECK(std::wstring(stream.str().Chars()) == format.c_str());
  int arguments = static_cast<int>(in.TakeInRange(0, kMaxArguments));
  for (int i = 0; i < arguments && !in.Empty(); ++i) {
    switch (in.TakeInRange(0, 3)) {
      case 0: stream << in.Take<int32_t>(); break;
      case 1: stream << TakeWide(in, 16).c_str(); break;
      case 2: stream << static_cast<double>(in.Take<int64_t>()) / 1000.0; break;
      default: break;  // an empty argument
    }
    stream << Orx::endarg;
  }
  OrxString text = stream.str();
  FUZZ_CHECK(text.Chars()[text.Length()] == 0);
}

void CommandHelpers(FuzzInput& in) {
  std::string text = in.TakeBytes(kMaxText);
  const size_t terminated = std::strlen(text.c_str());
  std::unique_ptr<char[]> word(new char[Kestrel::kTokenSize]);
  int consumed = Kestrel::DevOrxHID::NextToken(text.c_str(), word.get());
  FUZZ_CHECK(consumed >= 1 && static_cast<size_t>(consumed) <= terminated + 1);
  FUZZ_CHECK(std::memchr(word.get(), 0, Kestrel::kTokenSize) != nullptr);

  int number = Kestrel::DevOrxHID::ParseFirstNumber(text.c_str());
  if (terminated == 0) FUZZ_CHECK(number == -1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  while (!in.Empty()) {
    switch (in.TakeInRange(0, 3)) {
      case 0: Conversions(in); break;
      case 1: WideText(in); break;
      case 2: Format(in); break;
      default: CommandHelpers(in); break;
    }
  }
  return 0;
}
