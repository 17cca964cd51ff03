// Walks the present device interfaces of one interface class through SetupAPI, one entry at a
// time. DevRegEnumHID opens each HID device and reads its identifiers and strings, and can hand
// the open handle of a chosen device to its new owner.
#pragma once

#include "platform/win32.h"
#include "support/orx_string.h"

#include <cstdint>

class DevRegEnum {
 public:
  explicit DevRegEnum(const GUID& interfaceClassId);
  DevRegEnum(const DevRegEnum&) = delete;
  DevRegEnum& operator=(const DevRegEnum&) = delete;

  virtual ~DevRegEnum();                                                    // 0
  virtual bool Next();                                                      // 1
  virtual void TrimToSegment(OrxString& text, wchar_t separator) const;     // 2
  virtual bool GetDevicePath(OrxString& out) const;                         // 3
  virtual OrxString GetInstanceId() const;                                  // 4
  virtual OrxString GetName() const;                                        // 5
  virtual OrxString GetManufacturer() const;                                // 6
  virtual BOOL ReadEntry(int index);                                        // 7

  int CurrentIndex() const { return currentIndex; }
  static bool HasDeviceInfoSet();

 protected:
  // Creates the process-wide device-information set when there is none.
  void EnsureSet();
  // The ensure-set step, then the interface at index; false when there is none to read.
  bool FindInterface(int index, SP_DEVICE_INTERFACE_DATA& interfaceData);

  OrxString name;
  OrxString description;
  OrxString manufacturer;
  OrxString instanceId;
  OrxString devicePath;
  GUID interfaceClass;
  DWORD setFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
  int nextIndex = -1;
  int currentIndex = 0;

  static HDEVINFO deviceInfoSet;

 private:
  bool ReadProperty(SP_DEVINFO_DATA& device, DWORD property, OrxString& into);
};

class DevRegEnumHID : public DevRegEnum {
 public:
  explicit DevRegEnumHID(const GUID& interfaceClassId);
  ~DevRegEnumHID() override;

  BOOL ReadEntry(int index) override;
  virtual bool InstanceIdSegmentStartsWith(const OrxString& prefix, wchar_t separator) const;  // 8
  virtual bool HasIds(uint16_t vendor, uint16_t product) const;                             // 9
  virtual OrxString GetSerialNumber() const;                                                // 10
  // The open handle of the current entry, which passes to the caller: the enumerator no longer
  // closes it.                                                                              // 11
  virtual HANDLE GetHandle();

 private:
  void ReleaseHandle();

  OrxString serialNumber;
  HANDLE deviceHandle = INVALID_HANDLE_VALUE;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
};
