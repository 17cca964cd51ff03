// Events, waits, threads and critical sections.
#include "platform/posix/clock.h"
#include "platform/posix/control.h"
#include "platform/posix/kernel.h"

#include <pthread.h>

#include <atomic>
#include <csetjmp>
#include <system_error>
#include <thread>

namespace posix {

namespace {

class Thread : public KernelObject {
 public:
  bool IsWaitable() const override { return true; }
  bool TryAcquire() override { return finished; }
  // Guarded by the kernel lock:
  bool finished = false;
  DWORD exitCode = STILL_ACTIVE;
  int priority = THREAD_PRIORITY_NORMAL;
};

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
    FreeLibrary(exit.module);
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
  auto object = posix::LookUp(handle);
  if (!object || !object->IsWaitable()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  uint64_t deadline = posix::DeadlineAfterMillis(milliseconds);
  std::unique_lock<std::mutex> lock(TheKernel().lock);
  bool acquired = posix::WaitUntil(lock, deadline, [&] { return object->TryAcquire(); }, object.get());
  return acquired ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
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

DWORD GetCurrentThreadId() {
  static std::atomic<DWORD> next{1};
  thread_local DWORD id = next++;
  return id;
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
