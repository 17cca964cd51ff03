// Events, waits, threads and critical sections.
#include "platform/posix/clock.h"
#include "platform/posix/control.h"
#include "platform/posix/kernel.h"

#include <pthread.h>

#include <atomic>
#include <csetjmp>
#include <deque>
#include <system_error>
#include <thread>
#include <vector>

namespace posix {

namespace {

struct Apc {
  PAPCFUNC function;
  ULONG_PTR parameter;
};

class Thread : public KernelObject {
 public:
  bool IsWaitable() const override { return true; }
  bool TryAcquire() override { return finished; }
  // Guarded by the kernel lock:
  bool finished = false;
  DWORD exitCode = STILL_ACTIVE;
  int priority = THREAD_PRIORITY_NORMAL;
  std::deque<Apc> apcs;
};

// The calling thread's own object: the one CreateThread made, or, for a thread it did not make,
// one made on first use, which never signals.
thread_local std::shared_ptr<Thread> currentThread;
std::shared_ptr<Thread> CurrentThreadObject() {
  if (!currentThread) currentThread = std::make_shared<Thread>();
  return currentThread;
}
const HANDLE kCurrentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

std::shared_ptr<KernelObject> Waitable(HANDLE handle) {
  if (handle == kCurrentThreadPseudoHandle) return CurrentThreadObject();
  auto object = LookUp(handle);
  return object && object->IsWaitable() ? object : nullptr;
}

std::atomic<int> liveThreads{0};
std::atomic<int> threadCreationsToFail{0};
thread_local bool platformThread = false;
bool loaderLockHeld = false;  // guarded by the kernel lock

// A thread that has returned from its start routine waits here for the loader lock.
void FinishEndingAfterTheLoaderLock() {
  std::unique_lock<std::mutex> lock(TheKernel().lock);
  WaitUntil(lock, UINT64_MAX, [] { return !loaderLockHeld; });
}

// FreeLibraryAndExitThread lands here, in this layer's code, before it lets go of the module: the
// code it leaves may belong to that module. Nothing left on the way has a destructor to run.
struct ThreadExit {
  std::jmp_buf jump;
  DWORD code = 0;
  HMODULE module = nullptr;
};
thread_local ThreadExit* threadExit = nullptr;

DWORD RunThreadStart(LPTHREAD_START_ROUTINE start, void* parameter) {
  static thread_local ThreadExit exit;
  threadExit = &exit;
  if (setjmp(exit.jump) != 0) {
    threadExit = nullptr;
    if (exit.module) FreeLibrary(exit.module);
    return exit.code;
  }
  DWORD code = start(parameter);
  threadExit = nullptr;
  return code;
}

// Takes one of the creations a test asked to fail, if any are left.
bool TakeThreadCreationFailure() {
  int left = threadCreationsToFail.load();
  while (left > 0 && !threadCreationsToFail.compare_exchange_weak(left, left - 1)) {
  }
  return left > 0;
}

}  // namespace

int LiveThreadCount() { return liveThreads.load(); }
void HoldLoaderLock(bool held) {
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  loaderLockHeld = held;
  NotifyChangedLocked();
}
void FailThreadCreations(int count) { threadCreationsToFail.store(count); }
bool IsPlatformThread() { return platformThread; }
void MarkPlatformThread() { platformThread = true; }
void AdoptCallingThread() {
  if (platformThread) return;
  platformThread = true;
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  ++TheKernel().runningThreads;
}

}  // namespace posix

using posix::TheKernel;

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR) {
  return posix::AddHandle(std::make_shared<posix::Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
  auto object = posix::LookUpAs<posix::Event>(event);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  object->Set();
  posix::NotifyChangedLocked(object.get());
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  auto object = posix::LookUpAs<posix::Event>(event);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  object->Reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto object = posix::Waitable(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  uint64_t deadline = posix::DeadlineAfterMillis(milliseconds);
  std::unique_lock<std::mutex> lock(TheKernel().lock);
  bool acquired = posix::WaitUntil(lock, deadline, [&] { return object->TryAcquire(); }, object.get());
  return acquired ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

namespace posix {
namespace {

constexpr DWORD kMaximumWaitObjects = 64;  // MAXIMUM_WAIT_OBJECTS

// Waits for the first of objects to be acquired, or, when alertable, for an APC queued to the
// calling thread. Returns the index acquired, count for an APC, or count + 1 at the deadline.
size_t WaitForAny(std::unique_lock<std::mutex>& lock, const std::vector<std::shared_ptr<KernelObject>>& objects,
                  uint64_t deadline, bool alertable) {
  std::vector<const KernelObject*> targets;
  for (const auto& object : objects) targets.push_back(object.get());
  std::shared_ptr<Thread> self = alertable ? CurrentThreadObject() : nullptr;
  if (self) targets.push_back(self.get());
  size_t acquired = objects.size() + 1;
  WaitUntil(
      lock, deadline,
      [&] {
        if (self && !self->apcs.empty()) {
          acquired = objects.size();
          return true;
        }
        for (size_t i = 0; i < objects.size(); ++i) {
          if (objects[i]->TryAcquire()) {
            acquired = i;
            return true;
          }
        }
        return false;
      },
      targets.data(), targets.size());
  return acquired;
}

// Runs the APCs queued to the calling thread, one at a time with no lock held. An APC that ends
// the thread (ExitThread) leaves from here: nothing on this frame has a destructor left to run.
void RunQueuedApcs() {
  for (;;) {
    Apc apc{};
    {
      std::lock_guard<std::mutex> guard(TheKernel().lock);
      std::shared_ptr<Thread>& self = currentThread;
      if (!self || self->apcs.empty()) return;
      apc = self->apcs.front();
      self->apcs.pop_front();
    }
    // ExitThread as the APC: called with its own type, its argument the exit code.
    if (apc.function == reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(&ExitThread)))
      ExitThread(static_cast<DWORD>(apc.parameter));
    apc.function(apc.parameter);
  }
}

// The wait of SignalObjectAndWait with every object that has a destructor inside it, so that the
// APCs can run after it on a frame that has none.
DWORD SignalThenWait(HANDLE toSignal, HANDLE toWaitOn, DWORD milliseconds, bool alertable) {
  auto event = LookUpAs<Event>(toSignal);
  auto object = Waitable(toWaitOn);
  if (!event || !object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  uint64_t deadline = DeadlineAfterMillis(milliseconds);
  std::unique_lock<std::mutex> lock(TheKernel().lock);
  // Set and waited for under one hold of the kernel lock: no thread sees one without the other.
  event->Set();
  NotifyChangedLocked(event.get());
  size_t got = WaitForAny(lock, {object}, deadline, alertable);
  return got == 0 ? WAIT_OBJECT_0 : got == 1 ? WAIT_IO_COMPLETION : WAIT_TIMEOUT;
}

}  // namespace
}  // namespace posix

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (!handles || count == 0 || count > posix::kMaximumWaitObjects || waitAll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<posix::KernelObject>> objects;
  for (DWORD i = 0; i < count; ++i) {
    objects.push_back(posix::Waitable(handles[i]));
    if (!objects.back()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
  uint64_t deadline = posix::DeadlineAfterMillis(milliseconds);
  std::unique_lock<std::mutex> lock(TheKernel().lock);
  size_t got = posix::WaitForAny(lock, objects, deadline, false);
  return got < count ? WAIT_OBJECT_0 + static_cast<DWORD>(got) : WAIT_TIMEOUT;
}

DWORD SignalObjectAndWait(HANDLE toSignal, HANDLE toWaitOn, DWORD milliseconds, BOOL alertable) {
  DWORD result = posix::SignalThenWait(toSignal, toWaitOn, milliseconds, alertable != FALSE);
  if (result == WAIT_IO_COMPLETION) posix::RunQueuedApcs();
  return result;
}

HANDLE GetCurrentThread() { return posix::kCurrentThreadPseudoHandle; }

DWORD QueueUserAPC(PAPCFUNC function, HANDLE thread, ULONG_PTR parameter) {
  auto object = posix::LookUpAs<posix::Thread>(thread);
  if (!object || !function) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  object->apcs.push_back(posix::Apc{function, parameter});
  posix::NotifyChangedLocked(object.get());
  return 1;
}

void ExitThread(DWORD exitCode) {
  if (posix::ThreadExit* exit = posix::threadExit) {
    exit->code = exitCode;
    exit->module = nullptr;
    std::longjmp(exit->jump, 1);
  }
  pthread_exit(nullptr);  // a thread this layer did not start
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, void* parameter, DWORD,
                    LPDWORD threadId) {
  if (posix::TakeThreadCreationFailure()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto object = std::make_shared<posix::Thread>();
  HANDLE handle = posix::AddHandle(object);
  ++posix::liveThreads;
  {
    std::lock_guard<std::mutex> guard(TheKernel().lock);
    ++TheKernel().runningThreads;  // from now, not from whenever the system schedules it
  }
  // The thread owns a reference to its object, so closing the handle early is harmless.
  try {
    std::thread([object, start, parameter] {
      posix::MarkPlatformThread();
      posix::currentThread = object;
      SetLastError(0);
      DWORD code = posix::RunThreadStart(start, parameter);
      posix::FinishEndingAfterTheLoaderLock();
      --posix::liveThreads;  // before the handle signals, so a joined thread is never counted
      {
        std::lock_guard<std::mutex> guard(TheKernel().lock);
        --TheKernel().runningThreads;
        object->exitCode = code;
        object->finished = true;
        posix::NotifyChangedLocked(object.get());
      }
    }).detach();
  } catch (const std::system_error&) {
    // Out of threads: fail as the system does, leaving nothing counted or open.
    {
      std::lock_guard<std::mutex> guard(TheKernel().lock);
      --TheKernel().runningThreads;
    }
    --posix::liveThreads;
    posix::RemoveHandle(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId) *threadId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle));
  return handle;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
  auto object = posix::LookUpAs<posix::Thread>(thread);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  object->priority = priority;  // recorded only: the simulated world needs no real priorities
  return TRUE;
}

int GetThreadPriority(HANDLE thread) {
  auto object = posix::LookUpAs<posix::Thread>(thread);
  if (!object) return 0x7FFFFFFF;  // THREAD_PRIORITY_ERROR_RETURN
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  return object->priority;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  auto object = posix::LookUpAs<posix::Thread>(thread);
  if (!object || !exitCode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(TheKernel().lock);
  *exitCode = object->exitCode;
  return TRUE;
}

void FreeLibraryAndExitThread(HMODULE module, DWORD exitCode) {
  if (posix::ThreadExit* exit = posix::threadExit) {
    exit->code = exitCode;
    exit->module = module;
    std::longjmp(exit->jump, 1);
  }
  FreeLibrary(module);  // a thread this layer did not start
  pthread_exit(nullptr);
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD) {
  section->impl = new std::recursive_mutex;
  return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
  static_cast<std::recursive_mutex*>(section->impl)->lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
  static_cast<std::recursive_mutex*>(section->impl)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  delete static_cast<std::recursive_mutex*>(section->impl);
  section->impl = nullptr;
}
