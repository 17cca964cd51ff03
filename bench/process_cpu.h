// The CPU time the whole process has used, user and system, for the benchmarks that measure a
// share of a core over a stretch of real time.
#pragma once

#include <sys/resource.h>

namespace bench {

inline long ProcessCpuMicros() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec * 1000000L + usage.ru_utime.tv_usec + usage.ru_stime.tv_sec * 1000000L +
         usage.ru_stime.tv_usec;
}

}  // namespace bench
