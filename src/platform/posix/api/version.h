// Version resources (version.dll), declared for the POSIX layer. Included by platform/win32.h only.
#pragma once
#include "platform/win32.h"

typedef UINT* PUINT;

#define VS_FFI_SIGNATURE 0xFEEF04BDu

typedef struct tagVS_FIXEDFILEINFO {
  DWORD dwSignature;
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

// The block is the module's VS_VERSIONINFO resource (UTF-16, as Windows stores it). VerQueryValueW
// takes a buffer filled by GetFileVersionInfoW: text values come back as wchar_t strings, for
// which that buffer has room, as the system keeps room there for its narrow copies; so
// GetFileVersionInfoW wants the whole size that GetFileVersionInfoSizeW gives.
DWORD GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle);
BOOL GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD length, LPVOID data);
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);
