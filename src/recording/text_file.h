// A whole text file, as recorded trials and the world's descriptions (scenarios, captures) are read.
#pragma once

#include <string>

namespace recording {

// False, with error "path: why", when the file cannot be opened or read.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

}  // namespace recording
