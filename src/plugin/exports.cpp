// Each export looks the device up and forwards to one of its operations. An index outside the
// table or a missing pointer answers like an empty entry, and no exception reaches the host.
#include "plugin/exports.h"

#include "discovery/device_search.h"
#include "plugin/device_table.h"
#include "plugin/message_quotes.h"
#include "plugin/message_reads.h"

namespace {

const GUID kDeviceClassId = {0x96BC55B8, 0xABEF, 0x4C51, {0x91, 0x5C, 0xF0, 0x2F, 0x47, 0x17, 0x82, 0x04}};
const wchar_t kClassName[] = L"Human Interface Devices";
const wchar_t kDeviceName[] = L"Wii Balance Board";

const wchar_t kMessageNotResponding[] = L"Wii Balance Board not responding or powered off.";
const wchar_t kMessageNoRadio[] =
    L"No Bluetooth radio was found. Check that your Bluetooth interface is connected and that you have the "
    L"Microsoft Bluetooth driver software.";
const wchar_t kMessagePairedNotResponding[] =
    L"Wii Balance Board is paired but not responding. Please refer to the Troubleshooting page in Kymora Help.";
const wchar_t kMessageNotFound[] =
    L"Wii Balance Board cannot be found or paired. Please refer to the Troubleshooting page in Kymora Help.";

std::shared_ptr<Kestrel::DevOrxHID> Device(int index) { return DeviceTable::Instance().At(index); }

// An abort or disconnect line tells the host that the device has a new message: a size this thread
// was told before means nothing for it any more, and its next read gets the new one. Only what the
// call wrote is looked at: a block of no frame (size 1) writes nothing, and the host's buffer may
// still hold a line it read before.
int AfterNews(int index, bool delivered, const char* text, int written) {
  bool news = delivered && written > 1 && (text[0] == '#' || text[0] == '!');
  if (news) MessageQuotes::Spend(index);
  return delivered ? 1 : 0;
}

// Runs body, answering fallback if anything escapes it.
template <typename Result, typename Body>
Result Guarded(Result fallback, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

const wchar_t* PluginLevelMessage() {
  if (!DeviceTable::Instance().IsEmpty()) return kMessageNotResponding;
  if (DeviceSearch::RadioMissing()) return kMessageNoRadio;
  if (DeviceSearch::BoardPaired()) return kMessagePairedNotResponding;
  return kMessageNotFound;
}

}  // namespace

int FindDevice(int* index) {
  return Guarded(0, [&] {
    if (!index) return 0;
    std::unique_ptr<Kestrel::DevOrxHID> device = DeviceSearch::FindNext();
    if (!device) return 0;
    *index = DeviceTable::Instance().Append(std::move(device));
    return 1;
  });
}

int Initialise(int index) {
  return Guarded(0, [&] {
    auto device = Device(index);
    return device && device->Initialise() ? 1 : 0;
  });
}

int IsFailed(int index) {
  return Guarded(1, [&] {
    auto device = Device(index);
    return !device || device->IsFailed() ? 1 : 0;
  });
}

int ReadLine(int index, char* buffer, int size, int timeoutMs) {
  return Guarded(0, [&] {
    auto device = Device(index);
    bool delivered = device && device->ReadLine(buffer, size, timeoutMs);
    return AfterNews(index, delivered, buffer, size);  // a line read is a string within size
  });
}

int WriteBuffer(int index, const char* data, int length, int ignored) {
  return Guarded(0, [&] {
    auto device = Device(index);
    return device && device->WriteBuffer(data, length, ignored) ? 1 : 0;
  });
}

int ReadBuffer(int index, char* buffer, int* size, int timeoutMs) {
  return Guarded(0, [&] {
    auto device = Device(index);
    bool delivered = device && device->ReadBuffer(buffer, size, timeoutMs);
    return AfterNews(index, delivered, buffer, delivered ? *size : 0);
  });
}

int ReadBuffSize(int index) {
  return Guarded(0, [&] {
    auto device = Device(index);
    return device ? device->ReadBuffSize() : 0;
  });
}

void FlushReadBuffer(int index) {
  Guarded(0, [&] {
    if (auto device = Device(index)) device->FlushReadBuffer();
    return 0;
  });
}

int GetLastErrorMsg(int index, char* buffer) {
  return Guarded(0, [&] {
    if (index == -1) return ReadPluginMessage(OrxString(PluginLevelMessage()), buffer);
    auto device = DeviceTable::Instance().At(index);
    return device ? ReadDeviceMessage(index, *device, buffer) : 0;
  });
}

int GetUniqueID(int index, int* id) {
  return Guarded(0, [&] {
    if (!Device(index) || !id) return 0;
    *id = 0;
    return 1;
  });
}

int GetBaudRate() { return 0; }

int GetDeviceClassInfo(DeviceClassInfo* info) {
  return Guarded(0, [&] {
    if (!info) return 0;
    info->classId = kDeviceClassId;
    info->className = kClassName;
    info->deviceName = kDeviceName;
    return 1;
  });
}

int CloseAll() {
  return Guarded(1, [] {
    DeviceTable::Instance().CloseAll();
    return 1;
  });
}
