#include "recording/text_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace recording {

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot be opened" + (errno ? std::string(" (") + std::strerror(errno) + ")" : std::string());
    return false;
  }
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) {
    error = path + ": cannot be read";
    return false;
  }
  text = content.str();
  return true;
}

}  // namespace recording
