// A device's last error message as the host reads it: the size first, then the text.
#pragma once

#include "device/dev_orx_hid.h"

#include <string>

namespace testing_support {

inline std::string LastMessage(Kestrel::DevOrxHID& device) {
  int size = device.GetLastErrorMsg(nullptr);
  if (size <= 0) return "";
  std::string text(static_cast<size_t>(size), '\0');
  device.GetLastErrorMsg(&text[0]);
  return text.c_str();
}

}  // namespace testing_support
