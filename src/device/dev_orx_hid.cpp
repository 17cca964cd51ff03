#include "device/dev_orx_hid.h"

#include "support/message_text.h"

namespace Kestrel {

DevOrxHID::DevOrxHID(HANDLE hid, const OrxString& deviceName, const OrxString& serial)
    : hidHandle(hid), name(deviceName), serialNumber(serial) {
  link = std::make_shared<ReaderLink>(hid, this);
  dataEvent = link->DataEvent();
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  counterFrequency = frequency.QuadPart;
  readEvent = link->ReadEvent();
  DeviceRegistry::Add(this);
  eventTick.store(GetTickCount());
}

DevOrxHID::~DevOrxHID() { CloseDevice(); }

void DevOrxHID::CloseDevice() {
  if (closed) return;
  closed = true;
  StopReader();
  if (readerThread) {
    if (!ReaderHasEnded(0)) {
      // Still inside a report handler after the stop wait: this object must outlive that call.
      if (!detached) detached = link->Detach(kReaderFinalWaitMs);
      // A reader that already chose to signal is moments from it: the event must outlive that.
      if (!link->DeviceLeaves()) WaitForSingleObject(link->EndedEvent(), kReaderStopWaitMs);
    }
    CloseHandle(readerThread);
    readerThread = nullptr;
  }
  link.reset();
  dataEvent = readEvent = hidHandle = nullptr;
  DeviceRegistry::Remove(this);
}

bool DevOrxHID::Initialise() {
  // Opened already: new rings would pull the old ones from under the running reader.
  if (readerThread) return !IsFailed();
  if (IsFailed()) return false;
  sampleRing = std::make_unique<RingBuffer<SampleWord>>(kSampleRingCapacity);
  textRing = std::make_unique<RingBuffer<char>>(kTextRingCapacity);
  auto* share = new std::shared_ptr<ReaderLink>(link);
  readerThread = CreateThread(nullptr, 0, &DevOrxHID::ReaderThread, share, 0, nullptr);
  if (!readerThread) {
    delete share;
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
  if (ReaderHasEnded(kReaderStopWaitMs)) return;
  // A board lost in the middle of a read, or a read that will not cancel, keeps the reader
  // busy: it ends by itself later, and from here on it never reaches this object.
  detached = link->Detach(kReaderDetachWaitMs);
}

bool DevOrxHID::ReaderHasEnded(DWORD waitMs) const {
  return readerThread == nullptr || WaitForSingleObject(link->EndedEvent(), waitMs) == WAIT_OBJECT_0;
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
