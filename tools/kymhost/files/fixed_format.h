// Numbers for files that other programs read: always a decimal point, whatever locale the
// plug-in has installed in the process (it installs the user's).
#pragma once

#include <charconv>
#include <cmath>
#include <system_error>
#include <string>

namespace kymhost {

// Times of frames at 10 ms steps, in files and on screen.
constexpr int kSecondsDecimals = 2;
// Kilograms to the gram and millimetres to a tenth, in the CSV and the live view's stream alike.
constexpr int kKgDecimals = 3;
constexpr int kMmDecimals = 1;
// Frequencies on screen: finer than any spectrum of a trial resolves.
constexpr int kShownHzDecimals = 2;

inline std::string Fixed(double value, int decimals) {
  if (!std::isfinite(value)) value = 0.0;
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return "0";
  std::string out(text, result.ptr);
  if (out.find_first_not_of("-0.") == std::string::npos && out[0] == '-') out.erase(0, 1);  // no "-0.00"
  return out;
}

// The shortest plain decimal that reads back as value: 10 as "10", 0.125 as "0.125".
inline std::string Plain(double value) {
  if (!std::isfinite(value)) value = 0.0;
  char text[400];  // room for any double in fixed notation
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  if (result.ec != std::errc()) return "0";
  return std::string(text, result.ptr);
}

// Six significant digits, for messages: 0.02 as "0.02", 1234.5678 as "1234.57".
inline std::string Short(double value) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  if (result.ec != std::errc()) return "0";
  return std::string(text, result.ptr);
}

}  // namespace kymhost
