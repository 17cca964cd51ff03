// The local time of a moment, as the files' headers give a run's start.
#pragma once

#include <ctime>

namespace kymhost {

inline std::tm LocalTime(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return local;
}

}  // namespace kymhost
