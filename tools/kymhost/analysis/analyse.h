// kymhost analyse: the measures of recordings already made, without a board or the plug-in.
#pragma once

#include "command_line.h"

namespace kymhost {

// Returns kymhost's exit code.
int Analyse(const Options& options);

}  // namespace kymhost
