// kymhost --version, and the plug-in's file version read from its version block as Windows
// Explorer shows it.
#include "host/version_report.h"

#include "command_line.h"
#include "host/plugin_library.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kHalfShift = 16;
constexpr DWORD kHalfMask = 0xFFFF;
const char kNoVersion[] = "unknown (no version block)";

#ifdef _WIN32
constexpr DWORD kPathRoom = 4096;

std::wstring ModulePath(void* module) {
  std::vector<wchar_t> path(kPathRoom);
  DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), path.data(), kPathRoom);
  return length > 0 && length < kPathRoom ? std::wstring(path.data(), length) : std::wstring();
}
#else
// The simulated system keeps the plug-in's resources under the name its module has on Windows.
std::wstring ModulePath(void*) { return L"PlankScale.kymdll"; }
#endif

std::string Halves(DWORD value) {
  return std::to_string(value >> kHalfShift) + "." + std::to_string(value & kHalfMask);
}

}  // namespace

std::string PluginLibrary::FileVersion() const {
  std::wstring path = handle_ ? ModulePath(handle_) : std::wstring();
  DWORD ignored = 0;
  DWORD size = path.empty() ? 0 : GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> block(size);
  void* value = nullptr;
  UINT length = 0;
  VS_FIXEDFILEINFO fixed;
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", &value, &length) || !value || length < sizeof fixed)
    return {};
  std::memcpy(&fixed, value, sizeof fixed);
  return Halves(fixed.dwFileVersionMS) + "." + Halves(fixed.dwFileVersionLS);
}

namespace kymhost {

int ReportVersions(const std::string& pluginPath) {
  std::printf("kymhost %s\n", KYMHOST_VERSION);
  PluginLibrary plugin;
  if (!plugin.Load(pluginPath)) {
    std::fprintf(stderr, "kymhost: %s\n", plugin.error().c_str());
    return kExitPluginMissing;
  }
  std::string version = plugin.FileVersion();
  std::printf("plug-in %s, file version %s\n", pluginPath.c_str(), version.empty() ? kNoVersion : version.c_str());
  return kExitOk;
}

}  // namespace kymhost
