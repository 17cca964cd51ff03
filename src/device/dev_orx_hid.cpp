#include "device/dev_orx_hid.h"

#include "support/message_text.h"

namespace Kestrel {

namespace {
// A reader thread that missed the stop wait is still running code of this object: wait longer
// before its memory goes, but never without bound.
constexpr DWORD kReaderFinalWaitMs = 10000;
}  // namespace

DevOrxHID::DevOrxHID(HANDLE hidHandle, const OrxString& name, const OrxString& serialNumber)
    : hidHandle_(hidHandle), name_(name), serialNumber_(serialNumber) {
  dataEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  counterFrequency_ = frequency.QuadPart;
  readEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DeviceRegistry::Add(this);
  eventTick_.store(GetTickCount());
}

DevOrxHID::~DevOrxHID() { CloseDevice(); }

void DevOrxHID::CloseDevice() {
  if (closed_) return;
  closed_ = true;
  StopReader();
  if (readerThread_ && WaitForSingleObject(readerThread_, kReaderFinalWaitMs) != WAIT_OBJECT_0) {
    // Leave the events open for the straggler; the handles are reclaimed with the process.
    readerThread_ = nullptr;
    DeviceRegistry::Remove(this);
    return;
  }
  if (dataEvent_) CloseHandle(dataEvent_);
  if (readEvent_) CloseHandle(readEvent_);
  if (hidHandle_ && hidHandle_ != INVALID_HANDLE_VALUE) CloseHandle(hidHandle_);
  if (readerThread_) CloseHandle(readerThread_);
  dataEvent_ = readEvent_ = hidHandle_ = readerThread_ = nullptr;
  DeviceRegistry::Remove(this);
}

bool DevOrxHID::Initialise() {
  if (IsFailed()) return false;
  sampleRing_ = std::make_unique<RingBuffer<SampleWord>>(kSampleRingCapacity);
  textRing_ = std::make_unique<RingBuffer<char>>(kTextRingCapacity);
  readerThread_ = CreateThread(nullptr, 0, &DevOrxHID::ReaderThread, this, 0, nullptr);
  if (readerThread_) SetThreadPriority(readerThread_, THREAD_PRIORITY_ABOVE_NORMAL);
  return true;
}

void DevOrxHID::StopReader() {
  if (stopRequested_.exchange(true)) return;
  if (readEvent_) SetEvent(readEvent_);
  if (readerThread_) WaitForSingleObject(readerThread_, kReaderStopWaitMs);
}

bool DevOrxHID::IsFailed() { return failed_.load(std::memory_order_acquire); }

bool DevOrxHID::WaitForData(int timeoutMs) {
  DWORD wait = timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs);
  return WaitForSingleObject(dataEvent_, wait) == WAIT_OBJECT_0;
}

void DevOrxHID::OnReadError(uint32_t code) { ReportDisconnect(code); }

bool DevOrxHID::ControlListCommand() { return true; }

OrxString DevOrxHID::LastErrorText() const {
  std::lock_guard<std::mutex> guard(lastErrorLock_);
  return lastError_;
}

void DevOrxHID::SetLastErrorText(const OrxString& text) {
  std::lock_guard<std::mutex> guard(lastErrorLock_);
  lastError_ = text;
}

int DevOrxHID::ReadLastErrorMessage(char* buffer) {
  OrxString message = LastErrorText();
  int size = DeliverMessage(message, buffer);
  if (buffer) SetLastErrorText(OrxString());
  return size;
}

}  // namespace Kestrel
