// The support library's exception types. Device code neither throws nor catches them.
#pragma once

#include "platform/win32.h"
#include "support/orx_string.h"

#include <exception>
#include <string>
#include <utility>

class xmsg : public std::exception {
 public:
  explicit xmsg(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A result code with the text that MessageForCode gives for it.
class XOrx : public std::exception {
 public:
  XOrx(HRESULT code, OrxString message) : code_(code), message_(std::move(message)) {}
  // The message in the thread's ANSI code page, cached in the string: stable while it lives.
  const char* what() const noexcept override;
  OrxString message() const { return message_; }
  HRESULT code() const { return code_; }

 private:
  HRESULT code_;
  OrxString message_;
};

// A bare result code.
struct XHResult {
  HRESULT code;
};

[[noreturn]] void ThrowXOrx(HRESULT code);

// The text for a result code: a host string for the host's own codes, otherwise the system's
// text as one sentence (no line break, a final full stop).
OrxString MessageForCode(HRESULT code);
