#include "host/run_watcher.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace kymhost {

void Say(RunWatcher* watcher, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::va_list again;
  va_copy(again, arguments);
  int length = std::vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  std::fputs(text.data(), stdout);
  std::fflush(stdout);
  if (!watcher) return;
  std::string line(text.data());
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  watcher->Said(line);
}

}  // namespace kymhost
