#include "device/dev_orx_hid.h"

#include "support/message_text.h"
#include "support/thread_quotes.h"

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

namespace {
std::atomic<bool> libraryUnloading{false};
// What a reader that has signalled its end still needs to leave this module's code.
constexpr DWORD kReaderExitGraceMs = 20;
}  // namespace

DevOrxHID::~DevOrxHID() { CloseDevice(); }

void DevOrxHID::SetLibraryUnloading(bool unloading) { libraryUnloading.store(unloading); }

void DevOrxHID::BeginClose() {
  {
    std::lock_guard<std::mutex> guard(readerStartLock);
    closing.store(true, std::memory_order_release);
  }
  // Wakes an open's read and a host thread waiting for data; both look at closing.
  if (readEvent && !readerThread) SetEvent(readEvent);
  if (dataEvent) SetEvent(dataEvent);
}

void DevOrxHID::CloseDevice() {
  if (closed) return;
  closed = true;
  {
    std::lock_guard<std::mutex> guard(readerStartLock);
    closing.store(true, std::memory_order_release);
  }
  StopReader();
  link->FlushCapture(true);
  if (HANDLE thread = readerThread.exchange(nullptr)) {
    bool left = WaitForSingleObject(link->EndedEvent(), 0) == WAIT_OBJECT_0;
    if (!left) {
      // Still running after the stop wait: this object must outlive any report it is handling.
      if (!detached) detached = link->Detach(kReaderFinalWaitMs);
      // False: it left already and signals in a moment, and the event must outlive that.
      left = !link->DeviceLeaves();
      if (left) WaitForSingleObject(link->EndedEvent(), kReaderStopWaitMs);
    }
    if (left) {
      // It took the module reference before it left, if the reference was there by then; one it
      // never saw is ours to give back.
      if (HMODULE module = link->TakeModuleReference()) FreeLibrary(module);
      // After its signal the reader still runs a few instructions of this module on its way out;
      // an unload, which no reference holds back, must not unmap them under it.
      if (libraryUnloading.load()) Sleep(kReaderExitGraceMs);
    }
    CloseHandle(thread);
  }
  link.reset();
  dataEvent = readEvent = hidHandle = nullptr;
  DeviceRegistry::Remove(this);
}

void DevOrxHID::HandOverModuleReference() {
  // Under the loader lock no reference may be taken; the unload then outruns a stuck reader.
  if (libraryUnloading.load()) return;
  HMODULE module = nullptr;
  auto address = reinterpret_cast<LPCWSTR>(&libraryUnloading);  // any address inside this module
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &module)) link->GiveModuleReference(module);
}

bool DevOrxHID::Initialise() {
  std::lock_guard<std::mutex> opening(openLock);
  return StartReader();
}

bool DevOrxHID::StartReader() {
  // Opened already: new rings would pull the old ones from under the running reader.
  if (readerThread) return !IsFailed();
  if (IsFailed() || IsClosing()) return false;
  if (!sampleRing) sampleRing.Create(kSampleRingCapacity);
  if (!textRing) textRing.Create(kTextRingCapacity);
  auto* share = new std::shared_ptr<ReaderLink>(link);
  {
    std::lock_guard<std::mutex> guard(readerStartLock);
    if (!IsClosing()) readerThread = CreateThread(nullptr, 0, &DevOrxHID::ReaderThread, share, 0, nullptr);
  }
  if (!readerThread) {
    delete share;
    if (IsClosing()) return false;
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
  // Handed over before the stop: whenever the reader ends, from now on, it holds this module
  // until its very last step, so a host that unloads the plug-in after the close waits for it.
  if (!stopRequested.load() && readerThread) HandOverModuleReference();
  if (!stopRequested.exchange(true) && readEvent) SetEvent(readEvent);
  // A stop asked for before the reader started (it then ends at once) is waited for here too.
  if (stopWaited || !readerThread) return;
  stopWaited = true;
  if (ReaderHasEnded(kReaderStopWaitMs)) return;
  // A board lost in the middle of a read, a read that will not cancel or a write that blocks keeps
  // the reader busy: it ends by itself later, and from here on it never reaches this object.
  detached = link->Detach(kReaderDetachWaitMs);
}

bool DevOrxHID::ReaderHasEnded(DWORD waitMs) const {
  return readerThread == nullptr || WaitForSingleObject(link->EndedEvent(), waitMs) == WAIT_OBJECT_0;
}

void DevOrxHID::StartCapture() { link->SetCapture(ReportCapture::ForBoard(serialNumber, counterFrequency)); }

void DevOrxHID::DiscardSamples() {
  std::lock_guard<std::mutex> guard(sampleTakeLock);
  if (sampleRing) sampleRing->Discard();
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
  const DWORD thread = GetCurrentThreadId();
  OrxString message;
  {
    std::lock_guard<std::mutex> guard(lastErrorLock);
    if (!buffer) {
      // The host allocates what it is told here; the reader, or another host thread, may store
      // or take a message before this thread reads, so this text is the one its read gets.
      KeepQuote(quotes, thread, QuotedMessage{lastError, lastErrorVersion});
      return DeliverMessage(lastError, nullptr);
    }
    auto quote = quotes.find(thread);
    if (quote == quotes.end()) {
      message = lastError;
      lastError = OrxString();
    } else {
      message = quote->second.text;
      // Cleared only when nothing newer came since the quote: a newer message waits for the next read.
      if (quote->second.version == lastErrorVersion) lastError = OrxString();
      quotes.erase(quote);
    }
  }
  return DeliverMessage(message, buffer);
}

}  // namespace Kestrel
