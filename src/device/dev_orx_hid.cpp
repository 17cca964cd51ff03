#include "device/dev_orx_hid.h"

#include "support/message_text.h"

namespace Kestrel {

DevOrxHID::DevOrxHID(HANDLE hid, const OrxString& deviceName, const OrxString& serial)
    : hidHandle(hid), name(deviceName), serialNumber(serial) {
  dataEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  counterFrequency = frequency.QuadPart;
  readEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DeviceRegistry::Add(this);
  eventTick.store(GetTickCount());
}

DevOrxHID::~DevOrxHID() { CloseDevice(); }

void DevOrxHID::CloseDevice() {
  if (closed) return;
  closed = true;
  StopReader();
  if (readerThread && WaitForSingleObject(readerThread, kReaderFinalWaitMs) != WAIT_OBJECT_0) {
    // Leave the events open for the straggler; the handles are reclaimed with the process.
    readerThread = nullptr;
    DeviceRegistry::Remove(this);
    return;
  }
  if (dataEvent) CloseHandle(dataEvent);
  if (readEvent) CloseHandle(readEvent);
  if (hidHandle && hidHandle != INVALID_HANDLE_VALUE) CloseHandle(hidHandle);
  if (readerThread) CloseHandle(readerThread);
  dataEvent = readEvent = hidHandle = readerThread = nullptr;
  DeviceRegistry::Remove(this);
}

bool DevOrxHID::Initialise() {
  // Opened already: new rings would pull the old ones from under the running reader.
  if (readerThread) return !IsFailed();
  if (IsFailed()) return false;
  sampleRing = std::make_unique<RingBuffer<SampleWord>>(kSampleRingCapacity);
  textRing = std::make_unique<RingBuffer<char>>(kTextRingCapacity);
  readerThread = CreateThread(nullptr, 0, &DevOrxHID::ReaderThread, this, 0, nullptr);
  if (!readerThread) {
    // Without its reader the device would be open but never deliver anything: say so instead.
    DWORD code = GetLastError();
    ReportDisconnect(code != 0 ? code : ERROR_NOT_ENOUGH_MEMORY);
    failed.store(true, std::memory_order_release);
    return false;
  }
  SetThreadPriority(readerThread, THREAD_PRIORITY_ABOVE_NORMAL);
  return true;
}

void DevOrxHID::StopReader() {
  if (stopRequested.exchange(true)) return;
  if (readEvent) SetEvent(readEvent);
  if (readerThread) WaitForSingleObject(readerThread, kReaderStopWaitMs);
}

bool DevOrxHID::IsFailed() { return failed.load(std::memory_order_acquire); }

bool DevOrxHID::WaitForData(int timeoutMs) {
  return WaitForSingleObject(dataEvent, HostWaitMs(timeoutMs)) == WAIT_OBJECT_0;
}

void DevOrxHID::OnReadError(uint32_t code) { ReportDisconnect(code); }

bool DevOrxHID::ControlListCommand() { return true; }

OrxString DevOrxHID::LastErrorText() const {
  std::lock_guard<std::mutex> guard(lastErrorLock);
  return lastError;
}

void DevOrxHID::SetLastErrorText(const OrxString& text) {
  std::lock_guard<std::mutex> guard(lastErrorLock);
  lastError = text;
  ++lastErrorVersion;
}

int DevOrxHID::ReadLastErrorMessage(char* buffer) {
  OrxString message;
  {
    std::lock_guard<std::mutex> guard(lastErrorLock);
    if (!buffer) {
      // The host allocates what it is told here; the reader may store a longer message before
      // the host reads, so this text is the one its read gets.
      quotedError = lastError;
      quotedVersion = lastErrorVersion;
      errorQuoted = true;
      return DeliverMessage(quotedError, nullptr);
    }
    message = errorQuoted ? quotedError : lastError;
    // Cleared only when nothing newer came since the quote: a newer message waits for the next read.
    if (!errorQuoted || quotedVersion == lastErrorVersion) lastError = OrxString();
    errorQuoted = false;
    quotedError = OrxString();
  }
  return DeliverMessage(message, buffer);
}

}  // namespace Kestrel
