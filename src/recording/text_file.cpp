#include "recording/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace recording {

// With C's files rather than streams: kymhost links the runtime statically, and streams would
// bring much of it in for this alone.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = path + ": cannot be opened" + (errno ? std::string(" (") + std::strerror(errno) + ")" : std::string());
    return false;
  }
  std::string content;
  char block[1 << 16];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) content.append(block, got);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = path + ": cannot be read";
    return false;
  }
  text = std::move(content);
  return true;
}

}  // namespace recording
