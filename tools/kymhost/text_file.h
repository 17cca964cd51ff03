// An output file written whole, for the plot and the summary: false when any of it failed.
#pragma once

#include <cstdio>
#include <string>

namespace kymhost {

inline bool WriteTextFile(const std::string& path, const std::string& text) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (!out) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace kymhost
