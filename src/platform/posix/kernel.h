// Kernel objects of the POSIX platform layer: handles, waitable objects and the one lock that
// guards their signal states. One process-wide mutex keeps waits simple and lets the virtual
// clock see every change of state; each blocked thread has its own condition variable, so that
// setting an event wakes the threads waiting for it and not every thread that waits.
#pragma once

#include "platform/win32.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace posix {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called with the kernel lock held. True when a wait on the object is satisfied now;
  // consuming objects (auto-reset events) clear themselves here.
  virtual bool TryAcquire() { return false; }
  virtual bool IsWaitable() const { return false; }
};

class Event : public KernelObject {
 public:
  Event(bool manualReset, bool initialState) : manualReset_(manualReset), signalled_(initialState) {}
  bool IsWaitable() const override { return true; }
  bool TryAcquire() override {
    if (!signalled_) return false;
    if (!manualReset_) signalled_ = false;
    return true;
  }
  // Both with the kernel lock held.
  void Set() { signalled_ = true; }
  void Reset() { signalled_ = false; }

 private:
  bool manualReset_;
  bool signalled_;
};

// A thread blocked in a wait. It is woken by changes of the objects it waits for, or by every
// change when it names none.
struct Waiter {
  std::condition_variable wake;
  const KernelObject* const* objects = nullptr;
  size_t objectCount = 0;
  bool WaitsFor(const KernelObject* object) const {
    for (size_t i = 0; i < objectCount; ++i)
      if (objects[i] == object) return true;
    return objectCount == 0;
  }
  // Notified and not yet running again: a thread the system has not scheduled yet still has to
  // look at what changed, so the virtual clock must not jump past it.
  bool woken = false;
};

struct Kernel {
  std::mutex lock;
  // Notified by untargeted changes only (the clock, timers, NotifyChangedLocked()): the timer
  // thread waits here. Anything that waits for an object goes through WaitUntil.
  std::condition_variable changed;
  std::vector<Waiter*> waiters;  // guarded by lock
  uint64_t activity = 0;  // bumped on every state change; the virtual clock's sign of life
  // Threads made by CreateThread that are not blocked in a kernel wait: while one runs (or has
  // not even been scheduled yet), the virtual clock does not jump, however quiet it looks.
  int runningThreads = 0;
};
// True on threads made by CreateThread.
bool IsPlatformThread();
void MarkPlatformThread();
// Counts the calling thread, which CreateThread did not make, as a running platform thread.
void AdoptCallingThread();
Kernel& TheKernel();

// Call with the kernel lock held after changing any signal state.
void NotifyChangedLocked();
// The same when only object's state changed: wakes the threads that wait for it and those that
// wait for any change, not every waiting thread.
void NotifyChangedLocked(const KernelObject* object);

HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookUp(HANDLE handle);
template <typename T>
std::shared_ptr<T> LookUpAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookUp(handle));
}
bool RemoveHandle(HANDLE handle);

}  // namespace posix
