// A wide stream buffer over a character array that a derived class owns and grows.
#pragma once

#include <cstdint>
#include <streambuf>

namespace Orx {

class MemStreamBufBase : public std::wstreambuf {
 public:
  enum Mode : unsigned { kRead = 1, kWrite = 2 };

  MemStreamBufBase(const MemStreamBufBase&) = delete;
  MemStreamBufBase& operator=(const MemStreamBufBase&) = delete;

 protected:
  struct Storage {
    wchar_t* chars;
    uint32_t capacity;  // characters, one of them kept free for a terminating zero
    uint32_t count;     // characters already in the array
  };

  explicit MemStreamBufBase(unsigned mode) : mode_(mode) {}

  int_type overflow(int_type c) override;
  int_type underflow() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

  // The array, its capacity and the characters it holds already.
  virtual Storage GetStorage() = 0;
  // A (possibly moved) array of at least the characters written so far; capacity is what was
  // granted, chars null when nothing could be had.
  virtual Storage GrowStorage(uint32_t capacity) = 0;
  virtual void Hook() {}

  // Characters written: the furthest the put position has been.
  uint32_t Written();
  // Moves both areas onto chars, keeping their positions; with room false the put area is left
  // empty, so that the next character goes through overflow.
  void Repoint(wchar_t* chars, uint32_t capacity, bool room);
  bool HasStorage() const { return base_ != nullptr; }
  uint32_t Capacity() const { return capacity_; }

 private:
  bool Attach();

  unsigned mode_;
  wchar_t* base_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t written_ = 0;
};

}  // namespace Orx
