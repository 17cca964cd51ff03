// The keys that set markers while kymhost records: Enter or m on a terminal, a line on a pipe.
// Read without waiting, from the recording loop, so that nothing blocks on the keyboard.
#pragma once

#include <cstddef>
#include <memory>

namespace kymhost {

class MarkerKeys {
 public:
  // Takes the terminal's keys one at a time, unechoed, for as long as this object lives; keys
  // pressed before it was made are dropped.
  MarkerKeys();
  ~MarkerKeys();
  MarkerKeys(const MarkerKeys&) = delete;
  MarkerKeys& operator=(const MarkerKeys&) = delete;

  // How many markers were asked for since the last call.
  int Take();

 private:
  enum Source { kNone, kTerminal, kLines };
  int Count(const char* bytes, size_t size) const;

  Source source_ = kNone;
  struct Saved;  // the terminal's settings, given back at the end
  std::unique_ptr<Saved> saved_;
};

}  // namespace kymhost
