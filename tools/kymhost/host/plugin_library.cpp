#include "host/plugin_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {
#ifdef _WIN32
const char kDefaultName[] = "PlankScale.kymdll";
#else
const char kDefaultName[] = "libplankscale.so";
#endif
constexpr size_t kPathRoom = 4096;

// Where this program's file is, whatever the current directory or the way it was started.
std::string ExecutablePath() {
  char path[kPathRoom];
#ifdef _WIN32
  DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(sizeof path));
  return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
#else
  ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  return length > 0 && static_cast<size_t>(length) < sizeof path ? std::string(path, static_cast<size_t>(length))
                                                                  : std::string();
#endif
}
}  // namespace

std::string PluginLibrary::DefaultPath(const char* argv0) {
  std::string self = ExecutablePath();
  if (self.empty() && argv0) self = argv0;
  size_t slash = self.find_last_of("\\/");
  return slash == std::string::npos ? std::string("./") + kDefaultName : self.substr(0, slash + 1) + kDefaultName;
}

void* PluginLibrary::Symbol(const char* name) {
#ifdef _WIN32
  void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  void* address = dlsym(handle_, name);
#endif
  if (!address && error_.empty()) error_ = std::string("the plug-in does not export ") + name;
  return address;
}

template <typename F>
static void Bind(F& function, void* address) {
  function = reinterpret_cast<F>(address);
}

bool PluginLibrary::Load(const std::string& path) {
#ifdef _WIN32
  handle_ = LoadLibraryA(path.c_str());
  if (!handle_) error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
#else
  // Kept mapped to the end of the process: the plug-in's process-wide tables live as long as
  // the process, and unmapping the library would orphan them. Its detach runs at exit.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle_) error_ = std::string("cannot load ") + dlerror();
#endif
  if (!handle_) return false;
  Bind(FindDevice, Symbol("FindDevice"));
  Bind(Initialise, Symbol("Initialise"));
  Bind(IsFailed, Symbol("IsFailed"));
  Bind(ReadLine, Symbol("ReadLine"));
  Bind(WriteBuffer, Symbol("WriteBuffer"));
  Bind(ReadBuffer, Symbol("ReadBuffer"));
  Bind(ReadBuffSize, Symbol("ReadBuffSize"));
  Bind(FlushReadBuffer, Symbol("FlushReadBuffer"));
  Bind(GetLastErrorMsg, Symbol("GetLastErrorMsg"));
  Bind(GetUniqueID, Symbol("GetUniqueID"));
  Bind(GetBaudRate, Symbol("GetBaudRate"));
  Bind(GetDeviceClassInfo, Symbol("GetDeviceClassInfo"));
  Bind(CloseAll, Symbol("CloseAll"));
  return error_.empty();
}

PluginLibrary::~PluginLibrary() {
  if (!handle_) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}
