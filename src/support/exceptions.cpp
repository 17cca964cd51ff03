#include "support/exceptions.h"

const char* XOrx::what() const noexcept {
  try {
    return message_.Ansi();
  } catch (...) {
    return "XOrx";  // the narrow copy could not be made
  }
}

void ThrowXOrx(HRESULT code) { throw XOrx(code, MessageForCode(code)); }
