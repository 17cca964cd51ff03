// Wide output streams that write straight into an OrxString, so the text needs no final copy.
#pragma once

#include "support/mem_stream_buf.h"
#include "support/orx_string.h"

#include <ostream>

namespace Orx {

// Attached, it writes in place into its own string; str() hands that string out and detaches,
// and the next write or seek first takes a private copy when the text is still shared.
class StringStreamBuf : public MemStreamBufBase {
 public:
  StringStreamBuf() : MemStreamBufBase(kRead | kWrite) {}

  // The text written so far (a counted reference to the buffer itself).
  OrxString str();

 protected:
  int_type overflow(int_type c) override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;
  Storage GetStorage() override;
  Storage GrowStorage(uint32_t capacity) override;

 private:
  bool Reattach(bool grow);

  OrxString buffer_;
  bool detached_ = false;
};

class OStringStream : public std::wostream {
 public:
  OStringStream();
  OStringStream(const OStringStream&) = delete;
  OStringStream& operator=(const OStringStream&) = delete;

  OrxString str() { return buffer_.str(); }

 private:
  StringStreamBuf buffer_;
};

}  // namespace Orx

// Inserts the text itself: without this the pointer conversion would print an address.
inline std::wostream& operator<<(std::wostream& out, const OrxString& text) { return out << text.Chars(); }
