// A text read line by line, from memory or from a file a block at a time, so that a recording of
// any length is never held whole.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace recording {

class TextLines {
 public:
  // Lines of text that stays the caller's for as long as this reads it.
  explicit TextLines(std::string_view text);
  // Lines of an open file, read in blocks; the file stays the caller's.
  explicit TextLines(std::FILE* file);

  // The next line, without its line end ("\n" or "\r\n"); false at the end, or where the file
  // cannot be read or a line will not fit (then Failed() says why).
  bool Next(std::string_view& line);
  // The number of the line Next gave last, from 1.
  long Number() const { return number_; }
  const char* Failed() const { return failed_; }

 private:
  bool Refill();

  std::FILE* file_ = nullptr;
  std::string buffer_;
  std::string_view text_;
  size_t at_ = 0;
  long number_ = 0;
  bool fileEnded_ = false;
  const char* failed_ = nullptr;
};

}  // namespace recording
