// What tests, tools and the simulated world may steer in the POSIX platform layer. Nothing in
// the plug-in includes this: it sees only win32.h.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace posix {

// --- time ---------------------------------------------------------------------------------
// Real time is the default. On the virtual clock, time moves only when a test advances it, a
// thread sleeps, or every thread has been waiting for a moment with nothing happening (then the
// earliest waiter's deadline or timer is reached at once), so long timeouts cost nothing.
void UseVirtualClock(bool on);
bool UsingVirtualClock();
uint64_t NowMicros();  // the clock behind GetTickCount and QueryPerformanceCounter
void AdvanceClock(uint64_t micros);

using TimerId = uint64_t;
// Runs action once the clock reaches atMicros, on the timer thread (real time) or on the thread
// that moves the virtual clock. Actions run without any platform lock held.
TimerId ScheduleAt(uint64_t atMicros, std::function<void()> action);
void CancelTimer(TimerId id);

// --- bookkeeping for leak checks --------------------------------------------------------------
int LiveHandleCount();
int LiveThreadCount();
// Library detach runs under the loader lock, as on Windows: while it is held, a thread made by
// CreateThread that returns from its start routine cannot finish ending, so its handle does not
// signal and a wait on it times out. The plug-in's unload holds it around its detach.
void HoldLoaderLock(bool held);
// The next count CreateThread calls fail with ERROR_NOT_ENOUGH_MEMORY, as when a process is out
// of threads.
void FailThreadCreations(int count);

// --- thread exit ------------------------------------------------------------------------------
// What the loader's DLL_THREAD_DETACH is on Windows: every handler added runs on each thread that
// ever asked for its id (GetCurrentThreadId), as that thread ends. Removing a handler waits for a
// run of it in progress, so a library may remove its own before it goes.
void AddThreadExitHandler(void (*handler)());
void RemoveThreadExitHandler(void (*handler)());

// --- modules --------------------------------------------------------------------------------
// A simulated module: a name that LoadLibraryW knows and the exports GetProcAddress finds.
struct ModuleExport {
  std::string name;
  FARPROC address;
};
void RegisterModule(const std::wstring& name, std::vector<ModuleExport> exports);
void RemoveModule(const std::wstring& name);
void RemoveModuleExport(const std::wstring& module, const std::string& exportName);
int ModuleLoadCount(const std::wstring& name);  // loads not yet freed
int ModuleLoadAttempts(const std::wstring& name);
HMODULE PluginModuleHandle();  // the module whose resources are src/resources

// The host's companion library "Hvx.dll" beside the host executable, whose DllGetClassObject
// serves the companion class. Installed from the start; tests take it away with RemoveModule or
// RemoveModuleExport and put it back with this.
void InstallCompanionLibrary();
long CompanionClassObjectReferences();  // references held on the companion's class object

// --- regional settings ----------------------------------------------------------------------
// The simulated user locale: en-US values until a test changes them.
void SetLocaleValue(LCTYPE type, const std::wstring& value);
void FailLocaleValue(LCTYPE type);  // GetLocaleInfo of this item fails
void ResetLocale();
void SetThreadCodePage(UINT codePage);  // what CP_THREAD_ACP means on the calling thread

// --- the host's executable --------------------------------------------------------------------
// String resources of the simulated host executable (GetModuleHandleW(nullptr)), served as
// string-table blocks by FindResourceW/FindResourceExW. None until a test sets them.
constexpr WORD kHostDefaultLanguage = 0x0409;
void SetHostString(UINT id, const std::wstring& text, WORD language = kHostDefaultLanguage);
void ClearHostStrings();

// --- user interface -------------------------------------------------------------------------
struct MessageBoxRecord {
  std::wstring text;
  std::wstring caption;
  UINT type;
};
std::vector<MessageBoxRecord> MessageBoxes();
std::vector<std::string> DebugOutput();
void ClearUserInterfaceRecords();

}  // namespace posix
