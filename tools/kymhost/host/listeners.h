// Every listener of a run, handed each row, message and the end in turn.
#pragma once

#include "host/run_listener.h"

#include <string>
#include <vector>

namespace kymhost {

class Listeners {
 public:
  void Add(RunListener& listener) { listeners_.push_back(&listener); }
  bool Start(const RunStart& start) {
    for (RunListener* listener : listeners_)
      if (!listener->Start(start)) return false;
    return true;
  }
  void Frame(const FrameRow& row) {
    for (RunListener* listener : listeners_) listener->Frame(row);
  }
  void Message(double seconds, const std::string& text) {
    for (RunListener* listener : listeners_) listener->Message(seconds, text);
  }
  // Finishes every listener, even after one failed; false when any did.
  bool Finish() {
    bool finished = true;
    for (RunListener* listener : listeners_) finished = listener->Finish() && finished;
    return finished;
  }

 private:
  std::vector<RunListener*> listeners_;
};

}  // namespace kymhost
