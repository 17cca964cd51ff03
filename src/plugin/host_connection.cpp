#include "plugin/host_connection.h"

#include "plugin/pre_release.h"
#include "support/exceptions.h"

#include <exception>
#include <type_traits>

namespace {

constexpr DWORD kHostServicesLockSpinCount = 4000;

// Constant-initialised and never destroyed, so library detach may use it at any point of unload.
HostConnection processConnection;
static_assert(std::is_trivially_destructible<HostConnection>::value, "usable until the very end of unload");

class LockGuard {
 public:
  explicit LockGuard(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
  ~LockGuard() { LeaveCriticalSection(&lock_); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CRITICAL_SECTION& lock_;
};

HRESULT AskForHostServices(void** object) {
  return CoGetClassObject(kHostServicesClass, kAnyClassContext, nullptr, kHostServicesInterface, object);
}

}  // namespace

HostConnection& HostConnection::Process() { return processConnection; }

void HostConnection::EnsureLock() {
  int state = kNoLock;
  if (lockState_.compare_exchange_strong(state, kCreatingLock, std::memory_order_acquire)) {
    InitializeCriticalSectionAndSpinCount(&hostServicesLock_, kHostServicesLockSpinCount);
    lockState_.store(kLockLive, std::memory_order_release);
    return;
  }
  // Another thread is creating it: a matter of microseconds.
  while (lockState_.load(std::memory_order_acquire) != kLockLive) Sleep(0);
}

IHostServices* HostConnection::GetHostServices() {
  EnsureLock();
  if (IHostServices* known = hostServices_.load(std::memory_order_acquire)) return known;
  LockGuard guard(hostServicesLock_);
  if (!hostServices_.load(std::memory_order_relaxed)) {
    void* object = nullptr;
    HRESULT result = AskForHostServices(&object);
    if (FAILED(result)) {
      RegisterCompanion();
      result = AskForHostServices(&object);
    }
    if (SUCCEEDED(result) && object) {
      auto* services = static_cast<IHostServices*>(object);
      services->Release();  // the host keeps its object alive; the plug-in holds no reference
      hostServices_.store(services, std::memory_order_release);
    }
  }
  return hostServices_.load(std::memory_order_acquire);
}

HostConnection::Outcome HostConnection::AnnouncePreRelease(HMODULE module, const VersionReader& readVersion) {
  try {
    IHostServices* services = GetHostServices();
    if (!services) return Outcome::kNoHostServices;
    LONG noAnnouncement = 0;
    LONG detail = 0;
    // A query that fails has answered nothing: announce only to a host that asked for it.
    if (FAILED(services->ReleaseQuery(0, &noAnnouncement, &detail)) || noAnnouncement != 0)
      return Outcome::kDeclined;
    OrxString text;
    if (!PreReleaseAnnouncement(readVersion(module), text)) return Outcome::kNotPreRelease;
    IOrxString* handed = text.Interface();
    services->Announce(0, handed);
    handed->Release();
    return Outcome::kAnnounced;
  } catch (const XHResult&) {
    return Outcome::kFailed;
  } catch (const std::exception&) {  // XOrx, and anything else thrown while announcing
    return Outcome::kFailed;
  }
}

void HostConnection::Release() {
  // A registration that cannot be revoked here keeps its library: its class object lives there.
  if (companionRegistration_ != 0 && SUCCEEDED(CoRevokeClassObject(companionRegistration_)))
    companionRegistration_ = 0;
  if (companionLibrary_ && companionRegistration_ == 0) {
    FreeLibrary(companionLibrary_);
    companionLibrary_ = nullptr;
  }
  // OLE counts per thread: only the thread that started it can give it back.
  if (oleToUninitialise_ && GetCurrentThreadId() == oleThread_) {
    OleUninitialize();
    oleToUninitialise_ = false;
  }
  int live = kLockLive;
  if (lockState_.compare_exchange_strong(live, kNoLock)) DeleteCriticalSection(&hostServicesLock_);
}
