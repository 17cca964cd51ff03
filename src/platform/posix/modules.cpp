// The table of simulated modules behind LoadLibraryW and GetProcAddress, and the resources of
// the plug-in's own module.
#include "platform/posix/control.h"
#include "platform/posix/resources.h"

#include <dlfcn.h>

#include <atomic>
#include <cwctype>
#include <list>
#include <mutex>

namespace {

const wchar_t kPluginModulePath[] = L"C:\\Program Files\\Kymora\\PlankScale.kymdll";
const wchar_t kHostExecutablePath[] = L"C:\\Program Files\\Kymora\\Kymora.exe";

struct Module {
  std::wstring name;
  std::vector<posix::ModuleExport> exports;
  bool present = true;
  int loads = 0;
  int attempts = 0;
  void* sharedObject = nullptr;  // a real shared library: each load holds one dlopen of it
};

struct ModuleTable {
  std::mutex lock;
  std::list<Module> modules;  // a list keeps each module's address, which is its handle
  Module* plugin = nullptr;
  Module* host = nullptr;
  ModuleTable() {
    modules.push_back(Module{kHostExecutablePath, {}, true, 1, 0});
    host = &modules.back();
    modules.push_back(Module{kPluginModulePath, {}, true, 1, 0});
    plugin = &modules.back();
  }
};

ModuleTable& Modules() {
  static ModuleTable* table = new ModuleTable;
  return *table;
}

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

bool HasDirectory(const std::wstring& path) { return path.find_first_of(L"\\/") != std::wstring::npos; }

// Windows matches a bare module name against the file name of a full path, case-insensitively.
std::wstring FileName(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return Lower(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

std::wstring FullName(std::wstring path) {
  for (auto& c : path)
    if (c == L'/') c = L'\\';
  return Lower(path);
}

// A path finds only the module at that path; a bare name finds a module of that file name.
bool Matches(const Module& m, const std::wstring& name) {
  if (HasDirectory(name) && HasDirectory(m.name)) return FullName(m.name) == FullName(name);
  return FileName(m.name) == FileName(name);
}

Module* Find(ModuleTable& t, const std::wstring& name) {
  for (auto& m : t.modules)
    if (Matches(m, name)) return &m;
  return nullptr;
}

Module* FromHandle(ModuleTable& t, HMODULE handle) {
  for (auto& m : t.modules)
    if (reinterpret_cast<HMODULE>(&m) == handle) return &m;
  return nullptr;
}

HMODULE ToHandle(Module* m) { return reinterpret_cast<HMODULE>(m); }

}  // namespace

namespace posix {

void RegisterModule(const std::wstring& name, std::vector<ModuleExport> exports) {
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  Module* m = Find(t, name);
  if (!m) {
    t.modules.push_back(Module{name, {}, true, 0, 0});
    m = &t.modules.back();
  }
  m->exports = std::move(exports);
  m->present = true;
}

void RemoveModule(const std::wstring& name) {
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  if (Module* m = Find(t, name)) m->present = false;
}

void RemoveModuleExport(const std::wstring& module, const std::string& exportName) {
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  if (Module* m = Find(t, module)) {
    for (auto it = m->exports.begin(); it != m->exports.end(); ++it) {
      if (it->name == exportName) {
        m->exports.erase(it);
        return;
      }
    }
  }
}

int ModuleLoadCount(const std::wstring& name) {
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  Module* m = Find(t, name);
  return m ? m->loads : 0;
}

int ModuleLoadAttempts(const std::wstring& name) {
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  Module* m = Find(t, name);
  return m ? m->attempts : 0;
}

HMODULE PluginModuleHandle() { return ToHandle(Modules().plugin); }

}  // namespace posix

HMODULE LoadLibraryW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  Module* m = Find(t, name);
  if (m) ++m->attempts;
  if (!m || !m->present) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++m->loads;
  return ToHandle(m);
}

BOOL FreeLibrary(HMODULE module) {
  ModuleTable& t = Modules();
  void* sharedObject = nullptr;
  {
    std::lock_guard<std::mutex> guard(t.lock);
    Module* m = FromHandle(t, module);
    if (!m || m->loads == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    --m->loads;
    sharedObject = m->sharedObject;
  }
  // Outside the lock: the library's destructors may call back in here.
  if (sharedObject) dlclose(sharedObject);
  return TRUE;
}

// A shared library (the plug-in dlopen'ed by a host) is counted by the dynamic loader, so a
// reference taken here keeps it mapped as one taken on Windows keeps a DLL. Code linked into the
// program itself is the simulated plug-in module, which never goes.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module) {
  if (flags != GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS || !module) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Dl_info info{};
  if (!dladdr(name, &info) || !info.dli_fname) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  void* sharedObject = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  Module* m = t.plugin;
  if (sharedObject) {
    m = nullptr;
    for (auto& candidate : t.modules)
      if (candidate.sharedObject == sharedObject) m = &candidate;
    if (!m) {
      std::string path = info.dli_fname;
      t.modules.push_back(Module{std::wstring(path.begin(), path.end()), {}, true, 0, 0, sharedObject});
      m = &t.modules.back();
    }
  }
  ++m->loads;
  *module = ToHandle(m);
  return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  Module* m = FromHandle(t, module);
  if (!m || !name) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (m->present) {
    for (const auto& e : m->exports)
      if (e.name == name) return e.address;
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  if (!name) return ToHandle(t.host);
  Module* m = Find(t, name);
  if (!m || !m->present || m->loads == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return ToHandle(m);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size) {
  ModuleTable& t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  Module* m = module ? FromHandle(t, module) : t.host;
  if (!m || !path || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::wstring full = m->name;
  DWORD copied = static_cast<DWORD>(std::min<size_t>(full.size(), size - 1));
  std::wmemcpy(path, full.c_str(), copied);
  path[copied] = 0;
  if (copied < full.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return copied;
}

// --- resources ----------------------------------------------------------------------------

namespace {

std::atomic<const posix::EmbeddedResource*> pluginResources{nullptr};
std::atomic<size_t> pluginResourceCount{0};

const posix::EmbeddedResource* FindEmbedded(HMODULE module, LPCWSTR type, LPCWSTR name, int language) {
  if (!IS_INTRESOURCE(type) || !IS_INTRESOURCE(name)) return nullptr;
  auto typeId = static_cast<uint16_t>(reinterpret_cast<ULONG_PTR>(type));
  auto id = static_cast<uint16_t>(reinterpret_cast<ULONG_PTR>(name));
  if (module == ToHandle(Modules().host)) return posix::FindHostResource(typeId, id, language);
  if (module != posix::PluginModuleHandle()) return nullptr;
  const posix::EmbeddedResource* table = pluginResources.load();
  size_t count = pluginResourceCount.load();
  for (size_t i = 0; table && i < count; ++i) {
    const auto& r = table[i];
    if (r.type == typeId && r.id == id && (language < 0 || r.language == language)) return &r;
  }
  return nullptr;
}

}  // namespace

void posix::RegisterPluginResources(const EmbeddedResource* table, size_t count) {
  pluginResourceCount.store(count);
  pluginResources.store(table);
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  const auto* found = FindEmbedded(module, type, name, -1);
  if (!found) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return reinterpret_cast<HRSRC>(const_cast<posix::EmbeddedResource*>(found));
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  const auto* found = FindEmbedded(module, type, name, language);
  if (!found) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return reinterpret_cast<HRSRC>(const_cast<posix::EmbeddedResource*>(found));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) { return reinterpret_cast<HGLOBAL>(resource); }

void* LockResource(HGLOBAL data) {
  if (!data) return nullptr;
  return const_cast<unsigned char*>(static_cast<posix::EmbeddedResource*>(data)->data);
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) return 0;
  return static_cast<DWORD>(reinterpret_cast<posix::EmbeddedResource*>(resource)->size);
}

BOOL FreeResource(HGLOBAL) { return FALSE; }
