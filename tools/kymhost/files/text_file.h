// Output files: one written whole (the plot, the summary), and the line that says whether it was.
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

// Says whether an output file was written ("Plot written to run.svg"); returns written.
inline bool Reported(bool written, const char* what, const std::string& path) {
  if (written)
    std::printf("%s written to %s\n", what, path.c_str());
  else
    std::fprintf(stderr, "kymhost: cannot write %s\n", path.c_str());
  return written;
}

}  // namespace kymhost
