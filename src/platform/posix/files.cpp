// Device files: until the simulated HID endpoints exist, no device path can be opened.
#include "platform/win32.h"

HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

BOOL ReadFile(HANDLE, void*, DWORD, LPDWORD, LPOVERLAPPED) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL CancelIo(HANDLE) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL GetOverlappedResult(HANDLE, LPOVERLAPPED, LPDWORD, BOOL) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
