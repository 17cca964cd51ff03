// The system's message texts behind FormatMessageW: those of the errors the plug-in can meet,
// worded as Windows words them, each ending in a line break.
#include "platform/win32.h"

#include <cwchar>
#include <map>
#include <string>

namespace {

const std::map<DWORD, const wchar_t*>& Texts() {
  static const std::map<DWORD, const wchar_t*> texts = {
      {0, L"The operation completed successfully."},
      {1, L"Incorrect function."},
      {ERROR_FILE_NOT_FOUND, L"The system cannot find the file specified."},
      {ERROR_PATH_NOT_FOUND, L"The system cannot find the path specified."},
      {ERROR_ACCESS_DENIED, L"Access is denied."},
      {ERROR_INVALID_HANDLE, L"The handle is invalid."},
      {ERROR_NOT_ENOUGH_MEMORY, L"Not enough memory resources are available to process this command."},
      {14, L"Not enough memory resources are available to complete this operation."},
      {ERROR_GEN_FAILURE, L"A device attached to the system is not functioning."},
      {ERROR_NOT_SUPPORTED, L"The request is not supported."},
      {ERROR_INVALID_PARAMETER, L"The parameter is incorrect."},
      {ERROR_CALL_NOT_IMPLEMENTED, L"This function is not supported on this system."},
      {ERROR_INSUFFICIENT_BUFFER, L"The data area passed to a system call is too small."},
      {ERROR_MOD_NOT_FOUND, L"The specified module could not be found."},
      {ERROR_PROC_NOT_FOUND, L"The specified procedure could not be found."},
      {ERROR_MORE_DATA, L"More data is available."},
      {WAIT_TIMEOUT, L"The wait operation timed out."},
      {ERROR_NO_MORE_ITEMS, L"No more data is available."},
      {ERROR_MR_MID_NOT_FOUND, L"The system cannot find message text for message number 0x%1 in the message file for %2."},
      {ERROR_OPERATION_ABORTED, L"The I/O operation has been aborted because of either a thread exit or an application request."},
      {ERROR_IO_INCOMPLETE, L"Overlapped I/O event is not in a signaled state."},
      {ERROR_IO_PENDING, L"Overlapped I/O operation is in progress."},
      {ERROR_INVALID_FLAGS, L"Invalid flags."},
      {ERROR_NO_UNICODE_TRANSLATION, L"No mapping for the Unicode character exists in the target multi-byte code page."},
      {ERROR_DEVICE_NOT_CONNECTED, L"The device is not connected."},
      {ERROR_NOT_FOUND, L"Element not found."},
      {ERROR_RESOURCE_DATA_NOT_FOUND, L"The specified image file did not contain a resource section."},
      {ERROR_RESOURCE_TYPE_NOT_FOUND, L"The specified resource type cannot be found in the image file."},
      {ERROR_RESOURCE_NAME_NOT_FOUND, L"The specified resource name cannot be found in the image file."},
      {0x80004001u, L"Not implemented"},
      {0x80004002u, L"No such interface supported"},
      {0x80004003u, L"Invalid pointer"},
      {0x80004005u, L"Unspecified error"},
      {0x80010106u, L"Cannot change thread mode after it is set."},
      {0x80040111u, L"ClassFactory cannot supply requested class"},
      {0x80040154u, L"Class not registered"},
      {0x800401F0u, L"CoInitialize has not been called."},
  };
  return texts;
}

constexpr wchar_t kLineBreak[] = L"\r\n";

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, va_list*) {
  const DWORD unsupported = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE;
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & unsupported) || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto found = Texts().find(messageId);
  if (found == Texts().end()) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::wstring text = std::wstring(found->second) + kLineBreak;
  if (text.size() + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}
