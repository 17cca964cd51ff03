// Formats with numbered placeholders ("%1" … "%20"): the caller writes the arguments in order
// into the stream, ending each with EndArgument() or the manipulator endarg; once the argument
// of the highest placeholder number has ended, the filled-in text goes to the output.
//   Orx::OFormatStringStream f(format);
//   f << name << Orx::endarg << count << Orx::endarg;
//   OrxString text = f.str();
// A backslash right after the digits ends a placeholder, so digits may follow it; "%%" in the
// text around placeholders becomes "%".
#pragma once

#include "support/orx_string.h"
#include "support/string_stream.h"

#include <array>
#include <ostream>
#include <sstream>

namespace Orx {

class OFormatStream : public std::wostream {
 public:
  static constexpr int kMaxRecords = 20;

  OFormatStream(const OFormatStream&) = delete;
  OFormatStream& operator=(const OFormatStream&) = delete;

  void EndArgument();

 protected:
  // Parses format at once; the output goes to output, which must outlive this object.
  OFormatStream(const OrxString& format, std::wstreambuf& output);

 private:
  struct Record {
    uint32_t start = 0;  // its "%"
    uint32_t end = 0;    // after its number, and after the backslash that may close it
    std::streamoff argumentStart = 0;
    std::streamoff argumentLength = 0;
    bool escapedBefore = false;  // the literal text before it holds "%%"
  };

  void Parse();
  void WriteOutput();
  void WriteLiteral(uint32_t from, uint32_t to, bool collapse);

  OrxString format_;
  uint32_t textEnd_;
  std::wstreambuf& output_;
  std::wstringbuf arguments_;
  std::streamoff lastArgumentEnd_ = 0;
  long currentArgument_ = 0;  // arguments ended so far
  long highestPlaceholder_ = 0;
  int recordCount_ = 0;
  std::array<Record, kMaxRecords> records_{};
  std::array<int, kMaxRecords> argumentMap_{};  // record filled by argument n + 1, or -1
  bool finalEscaped_ = false;
  bool outputWritten_ = false;
};

// Ends the argument just written into an OFormatStream; does nothing to other streams.
std::wostream& endarg(std::wostream& stream);

namespace detail {
struct StringStreamBufHolder {
  StringStreamBuf buffer;
};
}  // namespace detail

// Built before the format stream, the buffer can receive a format that has no placeholder.
class OFormatStringStream : private detail::StringStreamBufHolder, public OFormatStream {
 public:
  explicit OFormatStringStream(const OrxString& format) : OFormatStream(format, buffer) {}

  OrxString str() { return buffer.str(); }
};

}  // namespace Orx
