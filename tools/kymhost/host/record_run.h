// One recording run on the opened boards: identity and settings, start, the stream with its live
// readout until time is up, Ctrl-C or the plug-in ends the run, stop, and the files.
#pragma once

#include "command_line.h"
#include "host/board_session.h"
#include "host/plugin_library.h"
#include "host/run_watcher.h"

#include <atomic>

namespace kymhost {

// Returns kymhost's exit code. Leaves the closing (CloseAll) to the caller. The watcher, when
// there is one, follows the run as a listener and may ask for markers.
int RecordRun(PluginLibrary& plugin, BoardSession& boards, const Options& options, const std::atomic<bool>& interrupted,
              RunWatcher* watcher = nullptr);

}  // namespace kymhost
