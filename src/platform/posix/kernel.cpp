#include "platform/posix/kernel.h"

#include <unordered_map>

namespace posix {

namespace {

// Handle values look like Windows ones (small multiples of 4) and are never reused, so a closed
// handle cannot alias a later object.
struct HandleTable {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uintptr_t next = 0x104;
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // outlives every static destructor
  return *table;
}

}  // namespace

Kernel& TheKernel() {
  static Kernel* kernel = new Kernel;  // outlives every static destructor
  return *kernel;
}

void NotifyChangedLocked() { NotifyChangedLocked(nullptr); }

void NotifyChangedLocked(const KernelObject* object) {
  Kernel& k = TheKernel();
  ++k.activity;
  for (Waiter* waiter : k.waiters) {
    if (object && !waiter->WaitsFor(object)) continue;
    waiter->woken = true;
    waiter->wake.notify_one();
  }
  if (!object) k.changed.notify_all();
}

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& t = Handles();
  std::lock_guard<std::mutex> guard(t.lock);
  uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookUp(HANDLE handle) {
  HandleTable& t = Handles();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;  // destroyed outside the table lock
  HandleTable& t = Handles();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.objects.end()) return false;
  doomed = std::move(it->second);
  t.objects.erase(it);
  return true;
}

int LiveHandleCount() {
  HandleTable& t = Handles();
  std::lock_guard<std::mutex> guard(t.lock);
  return static_cast<int>(t.objects.size());
}

}  // namespace posix

namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

BOOL CloseHandle(HANDLE handle) {
  if (!posix::RemoveHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

LONG InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
