// Ordinary files that CreateFileW makes new and WriteFile writes, beside the simulated devices.
#pragma once

#include "platform/win32.h"

namespace posix {

HANDLE CreateDiskFile(const wchar_t* path);
// False with the last error set when not all was written, or when file is not a disk file.
bool WriteDiskFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written);

}  // namespace posix
