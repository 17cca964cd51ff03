// The value of one hexadecimal digit, either case, as captures and the world's files spell bytes.
#pragma once

namespace recording {

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // not a digit
}

}  // namespace recording
