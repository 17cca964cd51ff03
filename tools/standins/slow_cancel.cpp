#include "slow_cancel.h"

#include "sim/clock.h"
#include "sim/system_api/api_handles.h"

#include <atomic>
#include <cstring>

namespace standins {

namespace {

const wchar_t kPluginModule[] = L"PlankScale.kymdll";
const char kKernelModule[] = "kernel32.dll";
const char kCancelIo[] = "CancelIo";

using CancelIoFunction = BOOL(WINAPI*)(HANDLE);

std::atomic<bool> takenOver{false};

BOOL WINAPI SlowCancelIo(HANDLE file) {
  auto device = sim::DeviceOfHandle(file);
  uint64_t delay = device ? device->CancellationDelay() : 0;
  if (delay == 0) return CancelIo(file);
  if (delay == sim::kNeverCancelled) return TRUE;  // the read ends when its file closes
  // CancelIoEx reaches the read from the timer's thread; a handle closed by then makes it fail.
  sim::ScheduleAt(sim::NowMicros() + delay, [file] { CancelIoEx(file, nullptr); });
  return TRUE;
}

// The import address table entry through which module calls name in dll, or null.
void** ImportSlot(HMODULE module, const char* dll, const char* name) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return nullptr;
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); entry->Name; ++entry) {
    if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0)
        return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

}  // namespace

void TakeOverPluginCancelIo() {
  if (takenOver.load()) return;
  HMODULE plugin = GetModuleHandleW(kPluginModule);
  if (!plugin) return;
  void** slot = ImportSlot(plugin, kKernelModule, kCancelIo);
  if (!slot || takenOver.exchange(true)) return;
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return;
  *slot = reinterpret_cast<void*>(&SlowCancelIo);
  VirtualProtect(slot, sizeof *slot, protection, &protection);
}

}  // namespace standins
