// Kernel objects of the POSIX platform layer: handles, waitable objects and the one lock that
// guards their signal states. One process-wide mutex and condition variable keep waits simple
// and let the virtual clock see every change of state.
#pragma once

#include "platform/win32.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

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

struct Kernel {
  std::mutex lock;
  std::condition_variable changed;
  uint64_t activity = 0;  // bumped on every state change; the virtual clock's sign of life
};
Kernel& TheKernel();

// Call with the kernel lock held after changing any signal state.
void NotifyChangedLocked();

HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookUp(HANDLE handle);
template <typename T>
std::shared_ptr<T> LookUpAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookUp(handle));
}
bool RemoveHandle(HANDLE handle);

}  // namespace posix
