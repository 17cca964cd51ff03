// The clock behind every time and timeout of the POSIX layer, real or virtual.
#pragma once

#include <cstdint>
#include <mutex>

namespace posix {

class KernelObject;

// Waits until satisfied() (checked with the kernel lock held) or the clock reaches
// deadlineMicros (UINT64_MAX: no deadline). Returns true when satisfied. On the virtual clock
// the waiter takes part in moving time forward once everything has gone quiet.
// objects, when given, are the kernel objects whose states satisfied() depends on: the wait is
// then woken only by changes of those (and of the clock).
template <typename Predicate>
bool WaitUntil(std::unique_lock<std::mutex>& kernelLock, uint64_t deadlineMicros, Predicate satisfied,
               const KernelObject* const* objects, size_t objectCount);
template <typename Predicate>
bool WaitUntil(std::unique_lock<std::mutex>& kernelLock, uint64_t deadlineMicros, Predicate satisfied,
               const KernelObject* object = nullptr) {
  return WaitUntil(kernelLock, deadlineMicros, satisfied, &object, object ? 1 : 0);
}

// Implementation detail of WaitUntil: one step of waiting. Returns false once the deadline passed.
bool WaitStep(std::unique_lock<std::mutex>& kernelLock, uint64_t deadlineMicros, const KernelObject* const* objects,
              size_t objectCount);

template <typename Predicate>
bool WaitUntil(std::unique_lock<std::mutex>& kernelLock, uint64_t deadlineMicros, Predicate satisfied,
               const KernelObject* const* objects, size_t objectCount) {
  for (;;) {
    if (satisfied()) return true;
    if (!WaitStep(kernelLock, deadlineMicros, objects, objectCount)) return satisfied();
  }
}

uint64_t DeadlineAfterMillis(uint32_t milliseconds);  // INFINITE gives UINT64_MAX

}  // namespace posix
