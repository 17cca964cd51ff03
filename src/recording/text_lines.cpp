#include "recording/text_lines.h"

#include <cstring>

namespace recording {

namespace {
constexpr size_t kBlockBytes = 1 << 20;
// A recording's line is a few hundred bytes at most: a longer one is not a recording.
constexpr size_t kLongestLine = 1 << 20;
}  // namespace

TextLines::TextLines(std::string_view text) : text_(text), fileEnded_(true) {}

TextLines::TextLines(std::FILE* file) : file_(file) {}

// Keeps the unread rest and appends the next block after it.
bool TextLines::Refill() {
  if (fileEnded_) return false;
  buffer_.erase(0, at_);
  at_ = 0;
  size_t had = buffer_.size();
  buffer_.resize(had + kBlockBytes);
  size_t got = std::fread(&buffer_[had], 1, kBlockBytes, file_);
  buffer_.resize(had + got);
  if (got < kBlockBytes) {
    fileEnded_ = true;
    if (std::ferror(file_)) failed_ = "cannot be read";
  }
  text_ = buffer_;
  return got > 0;
}

bool TextLines::Next(std::string_view& line) {
  if (failed_) return false;
  size_t end;
  while ((end = text_.find('\n', at_)) == std::string_view::npos) {
    if (text_.size() - at_ > kLongestLine) {
      failed_ = "has a line longer than 1 MiB";
      return false;
    }
    if (!Refill()) break;
  }
  if (failed_) return false;
  if (end == std::string_view::npos) {
    if (at_ >= text_.size()) return false;
    end = text_.size();
  }
  line = text_.substr(at_, end - at_);
  at_ = end + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  ++number_;
  return true;
}

}  // namespace recording
