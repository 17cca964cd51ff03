// FormatMessageW and the other national-language pieces beyond code pages, declared for the POSIX layer.
// Included by platform/win32.h only.
#pragma once

#include <cstdarg>

#define ERROR_MR_MID_NOT_FOUND 317u
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u

// Only system texts into the caller's buffer, with inserts ignored, are supported.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     va_list* arguments);
