// The loader's DLL_THREAD_DETACH, done for a shared library: every thread that asked for its id
// tells the exit handlers of its end.
#include "platform/posix/control.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace posix {
namespace {

struct ThreadExitHandlers {
  std::mutex lock;  // held while handlers run
  std::vector<void (*)()> handlers;
  pthread_key_t key;
  ThreadExitHandlers() { pthread_key_create(&key, &RunAll); }
  static void RunAll(void*) {
    ThreadExitHandlers& h = Get();
    std::lock_guard<std::mutex> guard(h.lock);
    for (auto handler : h.handlers) handler();
  }
  static ThreadExitHandlers& Get() {
    static auto* handlers = new ThreadExitHandlers;  // threads end after static destructors
    return *handlers;
  }
};

}  // namespace

void AddThreadExitHandler(void (*handler)()) {
  ThreadExitHandlers& h = ThreadExitHandlers::Get();
  std::lock_guard<std::mutex> guard(h.lock);
  h.handlers.push_back(handler);
}

void RemoveThreadExitHandler(void (*handler)()) {
  ThreadExitHandlers& h = ThreadExitHandlers::Get();
  std::lock_guard<std::mutex> guard(h.lock);
  h.handlers.erase(std::remove(h.handlers.begin(), h.handlers.end(), handler), h.handlers.end());
}

}  // namespace posix

DWORD GetCurrentThreadId() {
  static std::atomic<DWORD> next{1};
  thread_local DWORD id = 0;
  if (id == 0) {
    id = next++;
    // From now on this thread's end is told to the exit handlers.
    pthread_setspecific(posix::ThreadExitHandlers::Get().key, &id);
  }
  return id;
}
