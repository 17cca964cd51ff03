// A host buffer of a given size with a guard zone behind it: a write past the room the plug-in
// was given shows in the guard even in builds without AddressSanitizer.
#pragma once

#include "fuzz_input.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace fuzzing {

class GuardedBuffer {
 public:
  static constexpr size_t kGuard = 64;
  static constexpr unsigned char kPattern = 0xA5;

  explicit GuardedBuffer(size_t size) : size_(size), bytes_(size + kGuard, kPattern) {}
  ~GuardedBuffer() { Check(); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  char* data() { return reinterpret_cast<char*>(bytes_.data()); }
  size_t size() const { return size_; }

  // Nothing was written into the buffer itself.
  bool Untouched() const {
    for (size_t i = 0; i < size_; ++i)
      if (bytes_[i] != kPattern) return false;
    return true;
  }

  void Check() const {
    for (size_t i = size_; i < bytes_.size(); ++i) FUZZ_CHECK(bytes_[i] == kPattern);
  }

 private:
  size_t size_;
  std::vector<unsigned char> bytes_;
};

}  // namespace fuzzing
