#include "device/output_report.h"

#include "discovery/hid_library.h"

namespace Kestrel {

uint32_t WriteOutputReport(HANDLE hid, uint8_t* report, int length) {
  HidDllTable& library = HidDllTable::Instance();
  // Without the library nothing is written: say so rather than wait for a reply.
  if (!library.Usable()) return ERROR_MOD_NOT_FOUND;
  SetLastError(0);
  if (library.HidD_SetOutputReport(hid, report, static_cast<ULONG>(length))) return 0;
  DWORD error = GetLastError();
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace Kestrel
