// The plug-in's one door to the operating system.
//
// On Windows this is the SDK. Elsewhere it declares the same names, types, constants and
// semantics for exactly the subset of Win32 the plug-in calls; src/platform/posix implements
// them over the simulated world, so the plug-in's own code never needs an #ifdef.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE  // the plug-in speaks UTF-16 to Windows; the RT_* names are wide
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <setupapi.h>
#include <bluetoothapis.h>
// mingw's hidsdi.h lacks the C linkage block the other SDK headers carry.
extern "C" {
#include <hidsdi.h>
}
#include <hidclass.h>

#ifndef BLUETOOTH_SERVICE_ENABLE
#define BLUETOOTH_SERVICE_DISABLE 0x00
#define BLUETOOTH_SERVICE_ENABLE 0x01
#endif

// In bthprops.cpl, but not declared by every SDK.
extern "C" DWORD WINAPI BluetoothAuthenticateDevice(HWND parent, HANDLE radio, BLUETOOTH_DEVICE_INFO* device,
                                                    PWSTR passkey, ULONG passkeyLength);

#else  // the POSIX implementation of the subset

#include <cstddef>
#include <cstdint>

// Calling conventions mean nothing outside 32-bit Windows.
#define WINAPI
#define APIENTRY
#define CALLBACK
#define STDMETHODCALLTYPE
#define __stdcall
#define __cdecl

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char UCHAR;
typedef unsigned char BOOLEAN;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef intptr_t INT_PTR;
typedef ULONG_PTR SIZE_T;
typedef int32_t HRESULT;
typedef char CHAR;
typedef wchar_t WCHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR OLECHAR;
typedef OLECHAR* BSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef BOOL* LPBOOL;
typedef DWORD LCID;
typedef DWORD LCTYPE;
typedef int16_t VARIANT_BOOL;
typedef uint16_t VARTYPE;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HRSRC__;
typedef HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;
struct HWND__;
typedef HWND__* HWND;
typedef intptr_t(WINAPI* FARPROC)();

#define TRUE 1
#define FALSE 0
#define CONST const
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define INFINITE 0xFFFFFFFFu

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_IO_COMPLETION 0x000000C0u
#define WAIT_FAILED 0xFFFFFFFFu
#define STATUS_PENDING 0x00000103u

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_WRITE_FAULT 29u
#define ERROR_ENVVAR_NOT_FOUND 203u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_CALL_NOT_IMPLEMENTED 120u
#define ERROR_SEM_TIMEOUT 121u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_MORE_DATA 234u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_IO_PENDING 997u
#define ERROR_NOT_FOUND 1168u
#define ERROR_DEVICE_NOT_CONNECTED 1167u
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812u
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813u
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814u
#define ERROR_NO_UNICODE_TRANSLATION 1113u
#define ERROR_INVALID_FLAGS 1004u

#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111u)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

#define VARIANT_TRUE static_cast<VARIANT_BOOL>(-1)
#define VARIANT_FALSE static_cast<VARIANT_BOOL>(0)

// Code pages and national-language support.
#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_THREAD_ACP 3u
#define CP_UTF8 65001u
#define LOCALE_USER_DEFAULT 0x0400u
#define LOCALE_SYSTEM_DEFAULT 0x0800u
#define LOCALE_SLIST 0x0000000Cu
#define LOCALE_SDECIMAL 0x0000000Eu
#define LOCALE_STHOUSAND 0x0000000Fu
#define LOCALE_SDATE 0x0000001Du
#define LOCALE_STIME 0x0000001Eu
#define LOCALE_SSHORTDATE 0x0000001Fu
#define LOCALE_SLONGDATE 0x00000020u
#define LOCALE_ITIME 0x00000023u
#define LOCALE_S1159 0x00000028u
#define LOCALE_S2359 0x00000029u
#define LOCALE_IDEFAULTCODEPAGE 0x0000000Bu
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004u
#define LOCALE_STIMEFORMAT 0x00001003u
#define LOCALE_ITIMEMARKPOSN 0x00001005u

// Threads.
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define STILL_ACTIVE 259u

// Files.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u

// Message boxes.
#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_TASKMODAL 0x00002000u

// Resources.
#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))

// Library entry reasons.
#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u
#define DLL_THREAD_ATTACH 2u
#define DLL_THREAD_DETACH 3u

// Debug output and system messages.
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER;

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;      // completion status; STATUS_PENDING while the operation runs
  ULONG_PTR InternalHigh;  // bytes transferred
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    } s;
    void* Pointer;
  } u;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(void* parameter);
typedef void(WINAPI* PAPCFUNC)(ULONG_PTR parameter);

typedef struct _RTL_CRITICAL_SECTION {
  void* impl;  // owned by the platform layer
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

extern const IID IID_IUnknown;

typedef struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    BSTR bstrVal;
    LONG lVal;
    LONGLONG llVal;
    void* byref;
  };
} VARIANT;
#define VT_EMPTY 0
#define VT_BSTR 8

// --- kernel -------------------------------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);

BOOL CloseHandle(HANDLE handle);
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Any one of the objects (waitAll must be FALSE): WAIT_OBJECT_0 plus the index of the first one
// signalled, which alone is consumed.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
// Sets the event toSignal and waits for toWaitOn as one step. Alertable: queued APCs run, and
// the result is WAIT_IO_COMPLETION.
DWORD SignalObjectAndWait(HANDLE toSignal, HANDLE toWaitOn, DWORD milliseconds, BOOL alertable);

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD flags, LPDWORD threadId);
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD GetCurrentThreadId();
// The calling thread's pseudo-handle: a wait on it lasts while the thread lives.
HANDLE GetCurrentThread();
// Runs function(parameter) on thread the next time it waits alertably.
DWORD QueueUserAPC(PAPCFUNC function, HANDLE thread, ULONG_PTR parameter);
[[noreturn]] void ExitThread(DWORD exitCode);

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME;

void Sleep(DWORD milliseconds);
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
DWORD GetTickCount();
// Coordinated universal time, moving with the layer's clock (real or virtual).
void GetSystemTime(SYSTEMTIME* time);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

LONG InterlockedIncrement(LONG volatile* value);
LONG InterlockedDecrement(LONG volatile* value);

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped);
// Synchronous writes to an ordinary file made with CREATE_ALWAYS, the one kind the plug-in writes.
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);
BOOL CancelIo(HANDLE file);
// The I/O of every thread of the process on file, or only the one with this record.
BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped);
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL wait);

// --- modules and resources ----------------------------------------------------------------
HMODULE LoadLibraryW(LPCWSTR name);
BOOL FreeLibrary(HMODULE module);
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004u
// Only with GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS: a counted reference to the module that holds
// the address passed as name.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module);
[[noreturn]] void FreeLibraryAndExitThread(HMODULE module, DWORD exitCode);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
HMODULE GetModuleHandleW(LPCWSTR name);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size);
DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* filePart);
[[noreturn]] void ExitProcess(UINT code);

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
void* LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
BOOL FreeResource(HGLOBAL data);

// --- national-language support and code pages -----------------------------------------------
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide, int wideCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR text, int bytes,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar);
int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size);
int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size);
UINT GetACP();
UINT GetOEMCP();

// --- automation strings -------------------------------------------------------------------
// A BSTR points at its characters; the four bytes before them hold the byte length, and a zero
// character follows them.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
UINT SysStringLen(BSTR text);
void SysFreeString(BSTR text);

// --- user interface and diagnostics ---------------------------------------------------------
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
void OutputDebugStringA(LPCSTR text);

// --- C runtime pieces the plug-in takes from the Windows CRT ---------------------------------
int _wtoi(const wchar_t* text);

// The Win32 libraries beyond the kernel, one header each.
#include "platform/posix/api/hid.h"
#include "platform/posix/api/setupapi.h"
#include "platform/posix/api/bluetooth.h"
#include "platform/posix/api/com.h"
#include "platform/posix/api/nls.h"
#include "platform/posix/api/version.h"

#endif  // _WIN32
