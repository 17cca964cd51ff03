// kymhost --version: kymhost's own version and the file version of the plug-in it loads.
#pragma once

#include <string>

namespace kymhost {

// Prints both versions; returns the exit code (the plug-in's missing code when it cannot be loaded).
int ReportVersions(const std::string& pluginPath);

}  // namespace kymhost
