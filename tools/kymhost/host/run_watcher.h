// A listener that follows kymhost's whole session, not only the run, and talks back: the live
// view. It hears the lines kymhost says before and after the run, asks for markers as Enter does,
// and gets the summary once the run is measured.
#pragma once

#include "host/run_listener.h"

#include <string>

namespace kymhost {

class RunWatcher : public RunListener {
 public:
  // A line kymhost says outside the run (searching, found, the board's identity, the end); from
  // kymhost's main thread, like every other call.
  virtual void Said(const std::string& line) = 0;
  // How many markers were asked for since the last call: the recording loop takes them with the keys.
  virtual int TakeMarkers() = 0;
  // The summary's JSON, as --summary writes it.
  virtual void Summary(const std::string& json) = 0;
};

// Prints a line (format ends with its newline) on standard output, flushed, and hands it to the
// watcher, when there is one.
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 2, 3)))
#else
__attribute__((format(printf, 2, 3)))
#endif
void Say(RunWatcher* watcher, const char* format, ...);

}  // namespace kymhost
