// The thirteen functions the host calls. The calling convention and linkage are set here once.
#pragma once

#include "platform/win32.h"

#include <cstdint>

#define PLANKSCALE_EXPORT extern "C"
#define PLANKSCALE_CALL __cdecl

// Filled by GetDeviceClassInfo; 24 bytes in the 32-bit host.
struct DeviceClassInfo {
  GUID classId;
  const wchar_t* className;
  const wchar_t* deviceName;
};
static_assert(sizeof(void*) != 4 || sizeof(DeviceClassInfo) == 24, "the host's record is 24 bytes");

PLANKSCALE_EXPORT int PLANKSCALE_CALL FindDevice(int* index);
PLANKSCALE_EXPORT int PLANKSCALE_CALL Initialise(int index);
PLANKSCALE_EXPORT int PLANKSCALE_CALL IsFailed(int index);
PLANKSCALE_EXPORT int PLANKSCALE_CALL ReadLine(int index, char* buffer, int size, int timeoutMs);
PLANKSCALE_EXPORT int PLANKSCALE_CALL WriteBuffer(int index, const char* data, int length, int ignored);
PLANKSCALE_EXPORT int PLANKSCALE_CALL ReadBuffer(int index, char* buffer, int* size, int timeoutMs);
PLANKSCALE_EXPORT int PLANKSCALE_CALL ReadBuffSize(int index);
PLANKSCALE_EXPORT void PLANKSCALE_CALL FlushReadBuffer(int index);
PLANKSCALE_EXPORT int PLANKSCALE_CALL GetLastErrorMsg(int index, char* buffer);
PLANKSCALE_EXPORT int PLANKSCALE_CALL GetUniqueID(int index, int* id);
PLANKSCALE_EXPORT int PLANKSCALE_CALL GetBaudRate();
PLANKSCALE_EXPORT int PLANKSCALE_CALL GetDeviceClassInfo(DeviceClassInfo* info);
PLANKSCALE_EXPORT int PLANKSCALE_CALL CloseAll();
