// Ending the process with the given code, output flushed. Library detach routines do not run:
// a process ended from inside a library's attach is better without them.
#include "platform/win32.h"

#include <cstdio>
#include <unistd.h>

void ExitProcess(UINT code) {
  std::fflush(nullptr);
  _exit(static_cast<int>(code));
}
