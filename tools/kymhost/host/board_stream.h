// The stream of one run from one or more boards: each board read in turn, their frames put on
// one timeline, until time is up, Ctrl-C, or one board's run ends, which ends the run for all.
#pragma once

#include "analysis/boards_recording.h"
#include "host/board_session.h"
#include "host/listeners.h"
#include "host/live_readout.h"
#include "host/marker_keys.h"
#include "host/run_watcher.h"

#include <atomic>

namespace kymhost {

struct StreamParts {
  PluginLibrary& plugin;
  BoardSession& boards;
  BoardsRecording& recording;
  LiveReadout& readout;
  Listeners& listeners;
  MarkerKeys& keys;
  RunWatcher* watcher;  // the live view, when there is one: it may ask for markers too
  double hostStartSeconds;  // the host's steady clock as the runs started: the rows' host times count from it
};

// Records until wanted rows (all of them when negative); returns the exit code the run ends
// with. Every frame that came before the end is kept; each marker asked for goes on the next row.
int StreamBoards(StreamParts parts, long wanted, const std::atomic<bool>& interrupted);

}  // namespace kymhost
