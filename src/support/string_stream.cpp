#include "support/string_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace Orx {

namespace {
constexpr uint32_t kMinimumCapacity = 8;
constexpr uint32_t kLargestCapacity = std::numeric_limits<int32_t>::max();
// A detached buffer about to take more text grows unless this much room is left.
constexpr uint32_t kReattachSlack = 8;
}  // namespace

MemStreamBufBase::Storage StringStreamBuf::GetStorage() {
  buffer_.ReserveExactly(buffer_.Capacity());  // unshared, same room
  return {buffer_.chars_, buffer_.Capacity(), buffer_.Length()};
}

MemStreamBufBase::Storage StringStreamBuf::GrowStorage(uint32_t capacity) {
  uint32_t written = Written();
  capacity = std::max(capacity, kMinimumCapacity);
  if (buffer_.ReferenceCount() != 1 || buffer_.Capacity() != capacity) {
    // Copied by count, not up to a zero: every written character survives the move.
    OrxString grown;
    wchar_t* to = grown.GetBuffer(capacity - 1);
    if (written) std::memcpy(to, buffer_.chars_, written * sizeof(wchar_t));
    to[written] = 0;
    grown.ReleaseBuffer();
    buffer_ = grown;
  }
  return {buffer_.chars_, buffer_.Capacity(), written};
}

bool StringStreamBuf::Reattach(bool grow) {
  uint32_t capacity = Capacity();
  uint32_t wanted = capacity;
  if (grow && Written() + kReattachSlack > capacity)
    wanted = capacity > kLargestCapacity / 2 ? kLargestCapacity : 2 * capacity;
  Storage storage = GrowStorage(wanted);
  if (!storage.chars) return false;
  Repoint(storage.chars, storage.capacity, true);
  detached_ = false;
  return true;
}

StringStreamBuf::int_type StringStreamBuf::overflow(int_type c) {
  if (detached_ && !Reattach(true)) return traits_type::eof();
  return MemStreamBufBase::overflow(c);
}

StringStreamBuf::pos_type StringStreamBuf::seekoff(off_type offset, std::ios_base::seekdir direction,
                                                   std::ios_base::openmode which) {
  if (detached_ && !Reattach(false)) return pos_type(off_type(-1));
  return MemStreamBufBase::seekoff(offset, direction, which);
}

StringStreamBuf::pos_type StringStreamBuf::seekpos(pos_type position, std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}

OrxString StringStreamBuf::str() {
  if (HasStorage() && !detached_) {
    // The base keeps one character free behind the text for this zero.
    buffer_.chars_[Written()] = 0;
    buffer_.ReleaseBuffer();
    Repoint(buffer_.chars_, Capacity(), false);
  }
  detached_ = HasStorage();
  return buffer_;
}

OStringStream::OStringStream() : std::wostream(nullptr) { std::wios::rdbuf(&buffer_); }

}  // namespace Orx
