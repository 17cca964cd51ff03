// COM class objects, OLE initialisation and registration, declared for the POSIX layer.
// Included by platform/win32.h only.
#pragma once
#include "platform/win32.h"

// Where a class object may come from.
#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u

#define REGCLS_SINGLEUSE 0u
#define REGCLS_MULTIPLEUSE 1u

#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)
#define RPC_E_WRONG_THREAD static_cast<HRESULT>(0x8001010Eu)

typedef IUnknown* LPUNKNOWN;
struct _COSERVERINFO;
typedef struct _COSERVERINFO COSERVERINFO;

// As on Windows, each thread that uses COM initialises it first (an apartment of its own), and
// a class object registered on a thread is found only from that thread.
HRESULT CoGetClassObject(REFCLSID classId, DWORD context, COSERVERINFO* server, REFIID iid, LPVOID* object);
HRESULT CoRegisterClassObject(REFCLSID classId, LPUNKNOWN object, DWORD context, DWORD flags, LPDWORD cookie);
HRESULT CoRevokeClassObject(DWORD cookie);
HRESULT OleInitialize(LPVOID reserved);  // S_OK the first time on a thread, S_FALSE after
void OleUninitialize();  // the last call on a thread revokes the thread's class objects
