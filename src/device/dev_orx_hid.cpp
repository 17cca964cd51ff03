#include "device/dev_orx_hid.h"

#include "support/message_text.h"

namespace Kestrel {

namespace {
std::atomic<bool> libraryUnloading{false};
std::atomic<uint64_t> devicesMade{0};
}  // namespace

DevOrxHID::DevOrxHID(HANDLE hid, const OrxString& deviceName, const OrxString& serial)
    : hidHandle(hid), name(deviceName), serialNumber(serial), identity(++devicesMade) {
  link = std::make_shared<ReaderLink>(hid, this);
  dataEvent = link->DataEvent();
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  counterFrequency = frequency.QuadPart;
  DeviceRegistry::Add(this);
  eventTick.store(GetTickCount());
}

DevOrxHID::~DevOrxHID() { CloseDevice(); }

void DevOrxHID::SetLibraryUnloading(bool unloading) { libraryUnloading.store(unloading); }

void DevOrxHID::BeginClose() {
  {
    std::lock_guard<std::mutex> guard(readerStartLock);
    closing.store(true, std::memory_order_release);
  }
  SetEvent(link->ClosingEvent());
  RequestStop();
}

void DevOrxHID::RequestStop() {
  if (stopRequested.exchange(true, std::memory_order_acq_rel)) return;
  if (readerState.load() == ReaderState::kRunning && !ReaderParked(0)) PrepareLastWords();
  link->Seal();
  SetEvent(link->StopEvent());
}

void DevOrxHID::StopReader() {
  RequestStop();
  SettleReader(kReaderStopWaitMs);
}

HMODULE DevOrxHID::ModuleReference() {
  HMODULE module = nullptr;
  auto address = reinterpret_cast<LPCWSTR>(&libraryUnloading);  // any address inside this module
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &module) ? module : nullptr;
}

void DevOrxHID::SettleReader(DWORD waitMs) {
  if (readerState.load() != ReaderState::kRunning) return;
  bool parked = ReaderParked(waitMs);
  if (!parked && libraryUnloading.load()) {
    // No reference may be taken under the loader lock, and the module goes when the detach
    // returns: the reader must have parked by then. A write stuck in the driver is asked to end;
    // it comes back at the latest when the link's page times out.
    link->CancelAllIo();
    while (!ReaderParked(kReaderStopWaitMs)) continue;
    parked = true;
  }
  if (!parked) {
    // Busy in the driver: it finishes on its own, holding the module and its share, and never
    // reaches this object again.
    link->CutOff();
    HMODULE module = ModuleReference();
    if (module && link->Orphan(module)) {
      readerState.store(ReaderState::kOrphaned);
      return;
    }
    if (module) FreeLibrary(module);
    // It parked meanwhile (or the module would not be had): it is done in moments.
    while (!ReaderParked(kReaderStopWaitMs)) continue;
  }
  readerState.store(ReaderState::kParked);
}

void DevOrxHID::CloseDevice() {
  if (closed) return;
  closed = true;
  closeStarted = GetTickCount();
  BeginClose();
  SettleReader(kReaderStopWaitMs);
  link->FlushCapture(true);
  if (HANDLE thread = readerThread.exchange(nullptr)) {
    if (readerState.load() == ReaderState::kParked) {
      // The parked reader runs none of this module's code: ExitThread itself ends it, inside the
      // system, and its share of the link is the device's to let go.
      QueueUserAPC(reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(&ExitThread)), thread, link->ExitCode());
      delete readerShare;
      // Gone, then, when the close returns. Not under the loader lock, which an ending thread needs.
      if (!libraryUnloading.load()) WaitForSingleObject(thread, kReaderStopWaitMs);
    }
    readerShare = nullptr;
    CloseHandle(thread);
  }
  link.reset();
  dataEvent = hidHandle = nullptr;
  DeviceRegistry::Remove(this);
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
    if (!IsClosing()) {
      readerShare = share;
      readerState.store(ReaderState::kRunning);
      readerThread = CreateThread(nullptr, 0, &DevOrxHID::ReaderThread, share, 0, nullptr);
      if (!readerThread) readerState.store(ReaderState::kNone);
    }
  }
  if (!readerThread) {
    delete share;
    readerShare = nullptr;
    if (IsClosing()) return false;
    // Without its reader the device would be open but never deliver anything: say so instead.
    DWORD code = GetLastError();
    ReportDisconnect(code != 0 ? code : ERROR_NOT_ENOUGH_MEMORY);
    failed.store(true, std::memory_order_release);
    return false;
  }
  SetThreadPriority(readerThread, THREAD_PRIORITY_ABOVE_NORMAL);
  // Until it runs, the system holds it back, and an unload in that moment could neither wait for
  // it (it starts only after) nor let the code go (it starts in it): the open waits for it.
  while (WaitForSingleObject(link->StartedEvent(), kReaderStopWaitMs) != WAIT_OBJECT_0) continue;
  return true;
}

DWORD DevOrxHID::CloseTimeLeft() const {
  DWORD elapsed = GetTickCount() - closeStarted;
  return elapsed < kCloseBudgetMs ? kCloseBudgetMs - elapsed : 0;
}

bool DevOrxHID::ReaderParked(DWORD waitMs) const {
  return WaitForSingleObject(link->ParkedEvent(), waitMs) == WAIT_OBJECT_0;
}

bool DevOrxHID::WaitForClose(DWORD ms) const {
  return WaitForSingleObject(link->ClosingEvent(), ms) == WAIT_OBJECT_0;
}

void DevOrxHID::StartCapture() { link->SetCapture(ReportCapture::ForBoard(serialNumber, counterFrequency)); }

void DevOrxHID::DiscardSamples() {
  std::lock_guard<std::mutex> guard(sampleTakeLock);
  if (sampleRing) sampleRing->Discard();
}

bool DevOrxHID::IsFailed() { return failed.load(std::memory_order_acquire); }

bool DevOrxHID::WaitForData(int timeoutMs) {
  // A close ends the wait of every caller at once; the data event wakes one.
  HANDLE events[] = {link->ClosingEvent(), dataEvent};
  return WaitForMultipleObjects(2, events, FALSE, HostWaitMs(timeoutMs)) == WAIT_OBJECT_0 + 1;
}

void DevOrxHID::OnReadError(uint32_t code) { ReportDisconnect(code); }

bool DevOrxHID::ControlListCommand() { return true; }

DevOrxHID::MessageSnapshot DevOrxHID::LastErrorSnapshot() const {
  std::lock_guard<std::mutex> guard(lastErrorLock);
  return MessageSnapshot{lastError, lastErrorVersion};
}

void DevOrxHID::TakeLastError(uint64_t version) {
  std::lock_guard<std::mutex> guard(lastErrorLock);
  if (version != lastErrorVersion) return;
  lastError = OrxString();
  ++lastErrorVersion;
}

void DevOrxHID::SetLastErrorText(const OrxString& text) {
  std::lock_guard<std::mutex> guard(lastErrorLock);
  lastError = text;
  ++lastErrorVersion;
}

int DevOrxHID::ReadLastErrorMessage(char* buffer) {
  MessageSnapshot message = LastErrorSnapshot();
  if (buffer) TakeLastError(message.version);
  return DeliverMessage(message.text, buffer);
}

}  // namespace Kestrel
