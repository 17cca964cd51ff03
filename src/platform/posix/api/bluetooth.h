// The Bluetooth API of bthprops.cpl: radios, devices, authentication and services, declared for
// the POSIX layer. Included by platform/win32.h only.
#pragma once

#define BLUETOOTH_MAX_NAME_SIZE 248
#define BLUETOOTH_SERVICE_DISABLE 0x00
#define BLUETOOTH_SERVICE_ENABLE 0x01
#define ERROR_REVISION_MISMATCH 1306u
#define ERROR_NOT_AUTHENTICATED 1244u
#define ERROR_DEVICE_NOT_AVAILABLE 4319u

typedef ULONGLONG BTH_ADDR;
typedef void* HBLUETOOTH_DEVICE_FIND;
typedef void* HBLUETOOTH_RADIO_FIND;

// The records have the Windows layout; with a 32-bit wchar_t their names make them larger
// here, which callers never notice since they pass sizeof.
typedef struct _BLUETOOTH_ADDRESS {
  union {
    BTH_ADDR ullLong;
    BYTE rgBytes[6];
  };
} BLUETOOTH_ADDRESS;

typedef struct _BLUETOOTH_DEVICE_INFO {
  DWORD dwSize;
  BLUETOOTH_ADDRESS Address;
  ULONG ulClassofDevice;
  BOOL fConnected;
  BOOL fRemembered;
  BOOL fAuthenticated;
  SYSTEMTIME stLastSeen;
  SYSTEMTIME stLastUsed;
  WCHAR szName[BLUETOOTH_MAX_NAME_SIZE];
} BLUETOOTH_DEVICE_INFO, *PBLUETOOTH_DEVICE_INFO;

typedef struct _BLUETOOTH_DEVICE_SEARCH_PARAMS {
  DWORD dwSize;
  BOOL fReturnAuthenticated;
  BOOL fReturnRemembered;
  BOOL fReturnUnknown;
  BOOL fReturnConnected;
  BOOL fIssueInquiry;
  UCHAR cTimeoutMultiplier;
  HANDLE hRadio;
} BLUETOOTH_DEVICE_SEARCH_PARAMS;

typedef struct _BLUETOOTH_FIND_RADIO_PARAMS {
  DWORD dwSize;
} BLUETOOTH_FIND_RADIO_PARAMS;

typedef struct _BLUETOOTH_RADIO_INFO {
  DWORD dwSize;
  BLUETOOTH_ADDRESS address;
  WCHAR szName[BLUETOOTH_MAX_NAME_SIZE];
  ULONG ulClassofDevice;
  USHORT lmpSubversion;
  USHORT manufacturer;
} BLUETOOTH_RADIO_INFO, *PBLUETOOTH_RADIO_INFO;

// Without the const of the Windows SDK, as mingw-w64 declares them: one definition serves the
// POSIX layer and the Windows stand-ins.
HBLUETOOTH_RADIO_FIND BluetoothFindFirstRadio(BLUETOOTH_FIND_RADIO_PARAMS* params, HANDLE* radio);
BOOL BluetoothFindNextRadio(HBLUETOOTH_RADIO_FIND find, HANDLE* radio);
BOOL BluetoothFindRadioClose(HBLUETOOTH_RADIO_FIND find);
DWORD BluetoothGetRadioInfo(HANDLE radio, PBLUETOOTH_RADIO_INFO info);
HBLUETOOTH_DEVICE_FIND BluetoothFindFirstDevice(BLUETOOTH_DEVICE_SEARCH_PARAMS* params,
                                                BLUETOOTH_DEVICE_INFO* info);
BOOL BluetoothFindNextDevice(HBLUETOOTH_DEVICE_FIND find, BLUETOOTH_DEVICE_INFO* info);
BOOL BluetoothFindDeviceClose(HBLUETOOTH_DEVICE_FIND find);
DWORD BluetoothAuthenticateDevice(HWND parent, HANDLE radio, BLUETOOTH_DEVICE_INFO* info, WCHAR* passkey,
                                  ULONG passkeyLength);
DWORD BluetoothEnumerateInstalledServices(HANDLE radio, BLUETOOTH_DEVICE_INFO* info, DWORD* count,
                                          GUID* services);
DWORD BluetoothSetServiceState(HANDLE radio, BLUETOOTH_DEVICE_INFO* info, GUID* service, DWORD flags);
DWORD BluetoothRemoveDevice(BLUETOOTH_ADDRESS* address);
