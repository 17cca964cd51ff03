#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>

namespace fuzzing {

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

}  // namespace fuzzing
