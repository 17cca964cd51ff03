// Reads a fuzzer's bytes as a sequence of small decisions. Every read succeeds: once the bytes
// run out, numbers read as zero and byte runs come back empty, so each input is a whole program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace fuzzing {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return size_ == 0; }
  size_t Remaining() const { return size_; }

  template <typename T>
  T Take() {
    static_assert(std::is_integral<T>::value, "integers only");
    using Unsigned = typename std::make_unsigned<T>::type;
    Unsigned value = 0;
    size_t n = sizeof(T) < size_ ? sizeof(T) : size_;
    for (size_t i = 0; i < n; ++i) value = static_cast<Unsigned>(value | static_cast<Unsigned>(data_[i]) << (8 * i));
    Advance(n);
    return static_cast<T>(value);
  }

  bool TakeBool() { return (Take<uint8_t>() & 1) != 0; }

  // A value in [low, high], read from as few bytes as the range needs.
  int64_t TakeInRange(int64_t low, int64_t high) {
    uint64_t span = static_cast<uint64_t>(high - low);
    uint64_t raw = 0;
    for (uint64_t covered = 0; covered < span && !Empty(); covered = covered << 8 | 0xFF)
      raw = raw << 8 | Take<uint8_t>();
    return span == UINT64_MAX ? static_cast<int64_t>(raw) : low + static_cast<int64_t>(raw % (span + 1));
  }

  // One of the values of a table.
  template <typename T, size_t N>
  T Pick(const T (&values)[N]) {
    return values[TakeInRange(0, N - 1)];
  }

  // Up to maxLength bytes; a length byte first, so that several runs can follow each other.
  std::string TakeBytes(size_t maxLength) {
    size_t length = static_cast<size_t>(TakeInRange(0, static_cast<int64_t>(maxLength)));
    if (length > size_) length = size_;
    std::string bytes(reinterpret_cast<const char*>(data_), length);
    Advance(length);
    return bytes;
  }

  std::string TakeRest() {
    std::string bytes(reinterpret_cast<const char*>(data_), size_);
    Advance(size_);
    return bytes;
  }

 private:
  void Advance(size_t n) {
    data_ += n;
    size_ -= n;
  }

  const uint8_t* data_;
  size_t size_;
};

// Stops the fuzzer at a broken promise, in every build type.
#define FUZZ_CHECK(condition)                                                                        \
  do {                                                                                               \
    if (!(condition)) ::fuzzing::CheckFailed(#condition, __FILE__, __LINE__);                        \
  } while (0)

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

}  // namespace fuzzing
