// Class and interface identifiers of the host application's own components.
#pragma once

#include "platform/win32.h"

// The host services component: its class object is the services object itself.
constexpr CLSID kHostServicesClass = {0x09C5C1C7, 0x6AEE, 0x4EF7, {0xAD, 0x48, 0x53, 0x01, 0xE8, 0xBC, 0x37, 0x75}};
constexpr IID kHostServicesInterface = {0x70380571, 0x34EA, 0x11D3, {0x80, 0x99, 0x00, 0x50, 0x04, 0xAD, 0x3C, 0x53}};

// The class served by the host's companion library "Hvx.dll".
constexpr CLSID kCompanionClass = {0x818DA440, 0x8037, 0x11D3, {0x80, 0xBC, 0x00, 0x50, 0x04, 0xAD, 0x3C, 0x53}};
constexpr wchar_t kCompanionLibraryName[] = L"Hvx.dll";
constexpr char kCompanionEntryName[] = "DllGetClassObject";

// Any context: in-process server and handler, local and remote server.
constexpr DWORD kAnyClassContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
