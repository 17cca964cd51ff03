// Files as recorded trials and the world's descriptions (scenarios, captures) are read.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace recording {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The file at path opened to read bytes; null, with error "path: why", when it cannot be.
File OpenForReading(const std::string& path, std::string& error);

// False, with error "path: why", when the file cannot be opened or read.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

}  // namespace recording
