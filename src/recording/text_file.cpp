#include "recording/text_file.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace recording {

File OpenForReading(const std::string& path, std::string& error) {
  errno = 0;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file)
    error = path + ": cannot be opened" + (errno ? std::string(" (") + std::strerror(errno) + ")" : std::string());
  return file;
}

// With C's files rather than streams: kymhost links the runtime statically, and streams would
// bring much of it in for this alone.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
  File file = OpenForReading(path, error);
  if (!file) return false;
  std::string content;
  char block[1 << 16];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) content.append(block, got);
  if (std::ferror(file.get())) {
    error = path + ": cannot be read";
    return false;
  }
  text = std::move(content);
  return true;
}

}  // namespace recording
