#include "support/format_stream.h"

#include <algorithm>
#include <cwchar>
#include <string>

namespace Orx {

OFormatStream::OFormatStream(const OrxString& format, std::wstreambuf& output)
    : std::wostream(nullptr), format_(format), textEnd_(format_.Length()), output_(output) {
  std::wios::rdbuf(&arguments_);
  Parse();
}

void OFormatStream::Parse() {
  argumentMap_.fill(-1);
  const wchar_t* text = format_.Chars();
  bool escaped = false;
  uint32_t i = 0;
  while (i < textEnd_) {
    if (text[i] != L'%') {
      ++i;
      continue;
    }
    if (i + 1 < textEnd_ && text[i + 1] == L'%') {
      escaped = true;
      i += 2;
      continue;
    }
    wchar_t* digitsEnd = nullptr;
    long number = std::wcstol(text + i + 1, &digitsEnd, 10);
    if (number == 0) {
      ++i;  // not a placeholder: the "%" stays text
      continue;
    }
    auto placeholderEnd = static_cast<uint32_t>(digitsEnd - text);
    if (placeholderEnd < textEnd_ && text[placeholderEnd] == L'\\') ++placeholderEnd;
    highestPlaceholder_ = std::max(highestPlaceholder_, number);
    if (number >= 1 && number <= kMaxRecords && recordCount_ < kMaxRecords) {
      Record& record = records_[static_cast<size_t>(recordCount_)];
      record.start = i;
      record.end = placeholderEnd;
      record.escapedBefore = escaped;
      escaped = false;
      argumentMap_[static_cast<size_t>(number - 1)] = recordCount_++;
    }
    i = placeholderEnd;
  }
  finalEscaped_ = escaped;
  if (recordCount_ == 0) {
    output_.sputn(text, textEnd_);
    outputWritten_ = true;  // a format without records is complete as it stands
  }
}

void OFormatStream::EndArgument() {
  if (currentArgument_ >= highestPlaceholder_) return;
  std::streamoff position = arguments_.pubseekoff(0, std::ios_base::cur, std::ios_base::out);
  if (position < lastArgumentEnd_) position = lastArgumentEnd_;
  long number = currentArgument_ + 1;
  if (number <= kMaxRecords) {
    int index = argumentMap_[static_cast<size_t>(number - 1)];
    if (index >= 0) {
      Record& record = records_[static_cast<size_t>(index)];
      record.argumentStart = lastArgumentEnd_;
      record.argumentLength = position - lastArgumentEnd_;
    }
  }
  currentArgument_ = number;
  lastArgumentEnd_ = position;
  if (currentArgument_ == highestPlaceholder_) WriteOutput();
}

void OFormatStream::WriteOutput() {
  if (outputWritten_) return;
  outputWritten_ = true;
  std::wstring arguments = arguments_.str();
  auto available = static_cast<std::streamoff>(arguments.size());
  uint32_t from = 0;
  for (int i = 0; i < recordCount_; ++i) {
    const Record& record = records_[static_cast<size_t>(i)];
    WriteLiteral(from, record.start, record.escapedBefore);
    std::streamoff start = std::min(record.argumentStart, available);
    std::streamoff length = std::min(record.argumentLength, available - start);
    if (length > 0) output_.sputn(arguments.data() + start, length);
    from = record.end;
  }
  WriteLiteral(from, textEnd_, finalEscaped_);
}

void OFormatStream::WriteLiteral(uint32_t from, uint32_t to, bool collapse) {
  const wchar_t* text = format_.Chars();
  if (!collapse) {
    if (to > from) output_.sputn(text + from, to - from);
    return;
  }
  for (uint32_t i = from; i < to; ++i) {
    if (text[i] == L'%' && ++i == to) break;  // a "%" is dropped; the character after it stays
    output_.sputc(text[i]);
  }
}

std::wostream& endarg(std::wostream& stream) {
  if (auto* format = dynamic_cast<OFormatStream*>(&stream)) format->EndArgument();
  return stream;
}

}  // namespace Orx
