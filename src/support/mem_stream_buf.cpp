#include "support/mem_stream_buf.h"

#include <algorithm>
#include <limits>

namespace Orx {

namespace {
constexpr uint32_t kLargestCapacity = std::numeric_limits<int32_t>::max();
}

uint32_t MemStreamBufBase::Written() {
  if (pbase()) written_ = std::max(written_, static_cast<uint32_t>(pptr() - pbase()));
  return written_;
}

void MemStreamBufBase::Repoint(wchar_t* chars, uint32_t capacity, bool room) {
  uint32_t written = Written();
  auto put = static_cast<uint32_t>(pbase() ? pptr() - pbase() : written);
  auto get = static_cast<uint32_t>(eback() ? gptr() - eback() : 0);
  base_ = chars;
  capacity_ = capacity;
  if (mode_ & kWrite) {
    setp(chars, chars + (room ? capacity - 1 : put));
    pbump(static_cast<int>(put));
  }
  if (mode_ & kRead) setg(chars, chars + get, chars + written);
}

bool MemStreamBufBase::Attach() {
  Storage storage = GetStorage();
  if (!storage.chars || storage.capacity == 0) return false;
  written_ = std::min(storage.count, storage.capacity - 1);  // writing appends
  base_ = storage.chars;
  capacity_ = storage.capacity;
  if (mode_ & kWrite) {
    setp(base_, base_ + capacity_ - 1);
    pbump(static_cast<int>(written_));
  }
  if (mode_ & kRead) setg(base_, base_, base_);
  return true;
}

MemStreamBufBase::int_type MemStreamBufBase::overflow(int_type c) {
  if (!(mode_ & kWrite)) return traits_type::eof();
  if (!base_ && !Attach()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (pptr() == epptr()) {
    if (static_cast<uint32_t>(pptr() - pbase()) < capacity_ - 1) {
      Repoint(base_, capacity_, true);  // the put area had been closed, the array has room
    } else {
      uint32_t wanted = capacity_ > kLargestCapacity / 2 ? kLargestCapacity : 2 * capacity_;
      if (wanted <= capacity_) return traits_type::eof();
      Storage grown = GrowStorage(wanted);
      if (!grown.chars || grown.capacity <= capacity_) return traits_type::eof();
      Repoint(grown.chars, grown.capacity, true);
    }
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

MemStreamBufBase::int_type MemStreamBufBase::underflow() {
  if (!(mode_ & kRead) || !base_) return traits_type::eof();
  wchar_t* end = base_ + Written();
  if (gptr() >= end) return traits_type::eof();
  setg(eback(), gptr(), end);
  return traits_type::to_int_type(*gptr());
}

MemStreamBufBase::pos_type MemStreamBufBase::seekoff(off_type offset, std::ios_base::seekdir direction,
                                                     std::ios_base::openmode which) {
  const pos_type failed(off_type(-1));
  bool in = (which & std::ios_base::in) && (mode_ & kRead);
  bool out = (which & std::ios_base::out) && (mode_ & kWrite);
  if ((!in && !out) || (in && out && direction == std::ios_base::cur)) return failed;
  if (!base_ && !Attach()) return failed;
  Repoint(base_, capacity_, true);
  off_type end = Written();
  off_type from = 0;
  if (direction == std::ios_base::end) from = end;
  else if (direction == std::ios_base::cur) from = out ? pptr() - pbase() : gptr() - eback();
  off_type target = from + offset;
  if (target < 0 || target > end) return failed;
  if (out) pbump(static_cast<int>(target - (pptr() - pbase())));
  if (in) setg(eback(), eback() + target, base_ + end);
  return pos_type(target);
}

MemStreamBufBase::pos_type MemStreamBufBase::seekpos(pos_type position, std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}

}  // namespace Orx
