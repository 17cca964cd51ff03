// The plug-in's one connection to the host application's services component: found through
// COM (registering the host's companion class first when it is missing) and used once, at load,
// to announce a pre-release build.
#pragma once

#include "platform/win32.h"
#include "plugin/host_services.h"
#include "plugin/module_version.h"

#include <atomic>
#include <functional>
#include <string>

class HostConnection {
 public:
  enum class Outcome { kNoHostServices, kDeclined, kNotPreRelease, kAnnounced, kFailed };
  using VersionReader = std::function<ModuleVersion(HMODULE)>;

  constexpr HostConnection() = default;
  HostConnection(const HostConnection&) = delete;
  HostConnection& operator=(const HostConnection&) = delete;

  static HostConnection& Process();  // the connection of the plug-in's library attach

  // Asks the host whether it wants to hear of a pre-release build and, when it does and the
  // module's version says pre-release, announces it. Never throws: whatever fails here leaves
  // the plug-in working without the announcement (kFailed).
  Outcome AnnouncePreRelease(HMODULE module, const VersionReader& readVersion = ReadModuleVersion);

  // The host services object, or null. Once found it is kept, without a reference of its own.
  // Throws XOrx or XHResult when the companion class cannot be registered.
  IHostServices* GetHostServices();

  // Gives back, in the reverse order, what the fall-back registration took (class registration
  // and companion library, OLE) and the lock. A later attach starts over with a new lock.
  void Release();

 private:
  void RegisterCompanion();
  [[noreturn]] static void FailToLoad(const std::wstring& path);

  void EnsureLock();

  enum LockState : int { kNoLock, kCreatingLock, kLockLive };
  std::atomic<int> lockState_{kNoLock};  // constant-initialised on every runtime, unlike a mutex
  CRITICAL_SECTION hostServicesLock_{};
  std::atomic<IHostServices*> hostServices_{nullptr};
  // The fall-back's steps, each tried once; guarded by hostServicesLock_.
  bool oleStarted_ = false;
  bool oleToUninitialise_ = false;
  DWORD oleThread_ = 0;
  bool companionLoaded_ = false;
  HMODULE companionLibrary_ = nullptr;
  DWORD companionRegistration_ = 0;
};

// The companion library beside the host's executable, in canonical form.
std::wstring CompanionLibraryPath();
