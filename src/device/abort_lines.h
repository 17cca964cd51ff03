// The lines that end a sampling run from the device's side, and the two disconnect lines.
#pragma once

namespace Kestrel {

struct AbortLine {
  const char* text;        // delivered without a terminator
  int length;
  const wchar_t* message;  // the device's last error afterwards; null leaves it unchanged
};

const AbortLine& AbortLineFor(int abortCode);

constexpr char kLineDisconnectedReply[] = "!Device disconnected\n";
constexpr char kLineDisconnectedBlock[] = "#Device disconnected\n";

}  // namespace Kestrel
