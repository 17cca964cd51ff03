// A whole text file, as the world's descriptions (scenarios, captures) are read.
#pragma once

#include <string>

namespace sim {

// False, with error "path: why", when the file cannot be opened or read.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

}  // namespace sim
