// Device files: overlapped reads of input reports from the simulated world's HID devices,
// with the completion rules of a Windows HID driver.
#include "platform/posix/clock.h"
#include "platform/posix/control.h"
#include "platform/posix/disk_files.h"
#include "platform/posix/hid_endpoint.h"
#include "platform/posix/kernel.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

namespace posix {

namespace {

// A Windows HID driver keeps this many input reports for a handle nobody reads; older ones go.
constexpr size_t kInputQueueLength = 32;

struct PendingRead {
  uint8_t* buffer;
  DWORD length;
  OVERLAPPED* overlapped;
  std::shared_ptr<Event> event;
  DWORD thread;
  uint64_t id;  // a cancel reaches the reads pending when it was asked for, not later ones
};

DWORD ErrorForStatus(ULONG_PTR status) {
  if (status == kStatusCancelled) return ERROR_OPERATION_ABORTED;
  if (status == kStatusDeviceNotConnected) return ERROR_DEVICE_NOT_CONNECTED;
  return static_cast<DWORD>(status);
}

}  // namespace

class DeviceFile : public KernelObject, public sim::HidDeviceFile {
 public:
  explicit DeviceFile(std::shared_ptr<HidEndpoint> endpoint) : endpoint_(std::move(endpoint)) {}
  ~DeviceFile() override {
    {
      std::lock_guard<std::mutex> guard(TheKernel().lock);
      CompleteAllLocked(kStatusCancelled, [](const PendingRead&) { return true; });
    }
    endpoint_->Detach(this);
  }

  static std::shared_ptr<DeviceFile> Open(const std::shared_ptr<HidEndpoint>& endpoint) {
    auto file = std::make_shared<DeviceFile>(endpoint);
    endpoint->Attach(file);
    return file;
  }

  const std::shared_ptr<HidEndpoint>& Endpoint() const { return endpoint_; }

  BOOL Read(void* buffer, DWORD length, LPDWORD bytesRead, OVERLAPPED* overlapped) {
    std::shared_ptr<Event> event = overlapped->hEvent ? LookUpAs<Event>(overlapped->hEvent) : nullptr;
    std::lock_guard<std::mutex> guard(TheKernel().lock);
    if (event) event->Reset();  // as ReadFile does when an operation begins
    // Asked under the kernel lock: a disconnect either fails this read here or finds it pending.
    DWORD readError = 0;
    if (endpoint_->ReadFailure(&readError)) {
      SetLastError(readError);
      return FALSE;
    }
    PendingRead read{static_cast<uint8_t*>(buffer), length, overlapped, event, GetCurrentThreadId(), ++nextReadId_};
    if (!queue_.empty()) {
      DWORD n = CompleteLocked(read, 0, &queue_.front());
      queue_.pop_front();
      if (bytesRead) *bytesRead = n;
      return TRUE;
    }
    overlapped->Internal = STATUS_PENDING;
    overlapped->InternalHigh = 0;
    pending_.push_back(read);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }

  void Deliver(const std::vector<uint8_t>& report) override {
    std::lock_guard<std::mutex> guard(TheKernel().lock);
    if (!pending_.empty()) {
      PendingRead read = pending_.front();
      pending_.pop_front();
      CompleteLocked(read, 0, &report);
      return;
    }
    if (queue_.size() == kInputQueueLength) queue_.pop_front();
    queue_.push_back(report);
  }

  void Fail(uint32_t status) override {
    std::lock_guard<std::mutex> guard(TheKernel().lock);
    queue_.clear();
    CompleteAllLocked(status, [](const PendingRead&) { return true; });
  }

  size_t PendingReads() override {
    std::lock_guard<std::mutex> guard(TheKernel().lock);
    return pending_.size();
  }

  // The reads pending now that which picks: those a cancel asked for now reaches.
  template <typename Which>
  std::vector<uint64_t> PendingIds(Which which) {
    std::lock_guard<std::mutex> guard(TheKernel().lock);
    std::vector<uint64_t> ids;
    for (const PendingRead& r : pending_)
      if (which(r)) ids.push_back(r.id);
    return ids;
  }

  void Cancel(const std::vector<uint64_t>& ids) {
    std::lock_guard<std::mutex> guard(TheKernel().lock);
    CompleteAllLocked(kStatusCancelled, [&ids](const PendingRead& r) {
      return std::find(ids.begin(), ids.end(), r.id) != ids.end();
    });
  }

 private:
  // Writes the outcome into the caller's record and signals its event. Kernel lock held.
  DWORD CompleteLocked(const PendingRead& read, ULONG_PTR status, const std::vector<uint8_t>* report) {
    DWORD n = 0;
    if (report) {
      n = static_cast<DWORD>(std::min<size_t>(report->size(), read.length));
      std::memcpy(read.buffer, report->data(), n);
    }
    read.overlapped->InternalHigh = n;
    read.overlapped->Internal = status;
    if (read.event) read.event->Set();
    NotifyChangedLocked(read.event.get());  // without an event, every waiter looks again
    return n;
  }

  template <typename Which>
  void CompleteAllLocked(ULONG_PTR status, Which which) {
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (which(*it)) {
        CompleteLocked(*it, status, nullptr);
        it = pending_.erase(it);
      } else {
        ++it;
      }
    }
  }

  std::shared_ptr<HidEndpoint> endpoint_;
  std::deque<std::vector<uint8_t>> queue_;  // guarded by the kernel lock
  std::deque<PendingRead> pending_;         // guarded by the kernel lock
  uint64_t nextReadId_ = 0;                 // guarded by the kernel lock
};

// Cancels the reads ids now, or after the driver's delay (never: they end when the file closes).
void CancelReads(const std::shared_ptr<DeviceFile>& device, std::vector<uint64_t> ids) {
  uint64_t delay = device->Endpoint()->CancellationDelay();
  if (delay == sim::kNeverCancelled || ids.empty()) return;
  if (delay == 0) {
    device->Cancel(ids);
    return;
  }
  std::weak_ptr<DeviceFile> later = device;
  ScheduleAt(NowMicros() + delay, [later, ids] {
    if (auto open = later.lock()) open->Cancel(ids);
  });
}

std::shared_ptr<HidEndpoint> EndpointOf(HANDLE file) {
  auto object = LookUpAs<DeviceFile>(file);
  return object ? object->Endpoint() : nullptr;
}

}  // namespace posix

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition == CREATE_ALWAYS && (access & GENERIC_WRITE)) return posix::CreateDiskFile(path);
  std::shared_ptr<posix::HidEndpoint> endpoint = sim::FindHidDevice(path);
  if (!endpoint) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  DWORD error = ERROR_ACCESS_DENIED;
  if (!endpoint->CanOpen(&error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return posix::AddHandle(posix::DeviceFile::Open(endpoint));
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  auto device = posix::LookUpAs<posix::DeviceFile>(file);
  if (!device) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!overlapped || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);  // device files are opened for overlapped I/O only
    return FALSE;
  }
  return device->Read(buffer, bytesToRead, bytesRead, overlapped);
}

BOOL CancelIo(HANDLE file) {
  auto device = posix::LookUpAs<posix::DeviceFile>(file);
  if (!device) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD thread = GetCurrentThreadId();
  posix::CancelReads(device, device->PendingIds([thread](const posix::PendingRead& r) { return r.thread == thread; }));
  return TRUE;
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
  auto device = posix::LookUpAs<posix::DeviceFile>(file);
  if (!device) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::vector<uint64_t> ids =
      device->PendingIds([overlapped](const posix::PendingRead& r) { return !overlapped || r.overlapped == overlapped; });
  if (ids.empty()) {
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
  }
  posix::CancelReads(device, std::move(ids));
  return TRUE;
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL wait) {
  // Without a wait, Windows looks only at the record: the handle may be closed by then.
  auto device = posix::LookUpAs<posix::DeviceFile>(file);
  if ((!device && wait) || !overlapped) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::shared_ptr<posix::Event> event = overlapped->hEvent ? posix::LookUpAs<posix::Event>(overlapped->hEvent) : nullptr;
  std::unique_lock<std::mutex> lock(posix::TheKernel().lock);
  if (overlapped->Internal == STATUS_PENDING) {
    if (!wait) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    // Like Windows, wait on the record's event: a signal somebody else consumed is waited for.
    if (event)
      posix::WaitUntil(lock, UINT64_MAX, [&] { return event->TryAcquire(); }, event.get());
    else
      posix::WaitUntil(lock, UINT64_MAX, [&] { return overlapped->Internal != STATUS_PENDING; });
    if (overlapped->Internal == STATUS_PENDING) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
  }
  if (bytesTransferred) *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal == 0) return TRUE;
  SetLastError(posix::ErrorForStatus(overlapped->Internal));
  return FALSE;
}
