#include "device_pipes.h"

#include "overlapped_event.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cwctype>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace standins {

namespace {

constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
// Windows' HID class driver keeps this many input reports for a handle that is not read, in a
// ring: when it is full, the oldest goes.
constexpr size_t kInputReportsKept = 32;
// No room in the pipe itself: a report waits in the ring until the client's read takes it, so
// that the ring alone decides which report is lost.
constexpr DWORD kPipeOutBufferBytes = 0;
constexpr DWORD kRequestBytes = 64;
// How often the serving threads look whether they should stop.
constexpr DWORD kStopPollMs = 200;

struct Answers {
  std::mutex lock;
  std::condition_variable filed;
  std::map<uint32_t, std::weak_ptr<sim::HidDevice>> byToken;
};

Answers& TheAnswers() {
  static Answers* answers = new Answers;  // serving threads run to the end of the process
  return *answers;
}

void FileAnswer(uint32_t token, const std::shared_ptr<sim::HidDevice>& device) {
  Answers& a = TheAnswers();
  std::lock_guard<std::mutex> guard(a.lock);
  a.byToken[token] = device;
  a.filed.notify_all();
}

// One client's connection to a device: reports go out as messages, requests come in. Reports
// wait in a ring of their own, which a writer thread drains into the pipe, so that delivering a
// report never waits for the client: a stalled client holds up nobody else's reports.
class PipeFile : public sim::HidDeviceFile, public std::enable_shared_from_this<PipeFile> {
 public:
  PipeFile(HANDLE pipe, std::shared_ptr<sim::HidDevice> device) : pipe_(pipe), device_(std::move(device)) {}

  void Start() {
    auto self = shared_from_this();
    std::thread([self] { self->ServeRequests(); }).detach();
  }

  void Deliver(const std::vector<uint8_t>& report) override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (closed_) return;
      size_t held = ring_.size() + (inFlight_ && !dropInFlight_ ? 1 : 0);
      if (held == kInputReportsKept) {
        // The oldest is the one the writer is handing over, if any; the writer withdraws it.
        if (inFlight_ && !dropInFlight_)
          dropInFlight_ = true;
        else
          ring_.pop_front();
      }
      ring_.push_back(report);
    }
    SetEvent(wake_.Get());
  }

  // The board is gone: the client's reads fail from now on, as a lost HID device's do.
  void Fail(uint32_t) override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (closed_) return;
      closed_ = true;
      ring_.clear();
      DisconnectNamedPipe(pipe_);
    }
    SetEvent(wake_.Get());
  }

 private:
  void ServeRequests() {
    std::thread writer([this] { WriteReports(); });
    OverlappedEvent readEvent;
    uint8_t request[kRequestBytes];
    for (;;) {
      OVERLAPPED* overlapped = readEvent.Begin();
      DWORD length = 0;
      BOOL done = ReadFile(pipe_, request, sizeof request, &length, overlapped);
      if (!done && GetLastError() == ERROR_IO_PENDING) {
        while (WaitForSingleObject(readEvent.Event(), kStopPollMs) == WAIT_TIMEOUT) {
          if (Closed()) break;
        }
        if (Closed() && HasOverlappedIoCompleted(overlapped) == FALSE) {
          CancelAndWait(pipe_, overlapped);
          break;
        }
        done = GetOverlappedResult(pipe_, overlapped, &length, FALSE);
      }
      if (!done) break;  // the client closed its handle, or the board failed
      if (length == kWhichDeviceRequestLength && request[0] == kWhichDeviceRequest) {
        uint32_t token = request[1] | request[2] << 8 | request[3] << 16 | static_cast<uint32_t>(request[4]) << 24;
        FileAnswer(token, device_);
      }
    }
    {
      std::lock_guard<std::mutex> guard(lock_);
      closed_ = true;
    }
    SetEvent(wake_.Get());
    writer.join();  // the pipe is closed only once nothing writes to it
    CloseHandle(pipe_);
    device_->Detach(this);
  }

  void WriteReports() {
    OverlappedEvent writeEvent;
    for (;;) {
      std::vector<uint8_t> report;
      bool taken = false;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (closed_) return;
        if (!ring_.empty()) {
          report = std::move(ring_.front());
          ring_.pop_front();
          taken = inFlight_ = true;
          dropInFlight_ = false;
        }
      }
      if (!taken) {
        WaitForSingleObject(wake_.Get(), kStopPollMs);
        continue;
      }
      HandOver(writeEvent, report);
      std::lock_guard<std::mutex> guard(lock_);
      inFlight_ = dropInFlight_ = false;
    }
  }

  // Writes one report and waits until the client's read takes it, the ring overflows and drops
  // it (a cancelled write leaves nothing in the pipe), or the connection closes.
  void HandOver(OverlappedEvent& writeEvent, const std::vector<uint8_t>& report) {
    OVERLAPPED* overlapped = writeEvent.Begin();
    DWORD written = 0;
    if (WriteFile(pipe_, report.data(), static_cast<DWORD>(report.size()), &written, overlapped)) return;
    if (GetLastError() != ERROR_IO_PENDING) return;
    const HANDLE events[] = {writeEvent.Event(), wake_.Get()};
    while (WaitForMultipleObjects(2, events, FALSE, kStopPollMs) != WAIT_OBJECT_0) {
      std::lock_guard<std::mutex> guard(lock_);
      if (closed_ || dropInFlight_) break;
    }
    if (HasOverlappedIoCompleted(overlapped) == FALSE) CancelAndWait(pipe_, overlapped);
  }

  bool Closed() {
    std::lock_guard<std::mutex> guard(lock_);
    return closed_;
  }

  HANDLE pipe_;
  std::shared_ptr<sim::HidDevice> device_;
  std::mutex lock_;  // guards closed_ and the ring
  bool closed_ = false;
  std::deque<std::vector<uint8_t>> ring_;
  bool inFlight_ = false;      // the writer is handing a report over
  bool dropInFlight_ = false;  // and that report is to go: the ring overflowed
  EventHandle wake_{false};    // a report came, one is to be dropped, or the connection closes
};

HANDLE NewInstance(const std::wstring& name) {
  return CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                          kPipeOutBufferBytes, kRequestBytes, 0, nullptr);
}

// Keeps one instance of a device's pipe listening while the device is present, so that a
// CreateFileW finds it; each connection becomes a PipeFile.
class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(std::wstring devicePath, HANDLE first) : devicePath_(std::move(devicePath)), next_(first) {}

  void Start() {
    auto self = shared_from_this();
    std::thread([self] { self->Listen(); }).detach();
  }
  void Stop() { stopped_.store(true); }

 private:
  void Listen() {
    OverlappedEvent connectEvent;
    std::wstring name = PipeNameFor(devicePath_);
    while (next_ != INVALID_HANDLE_VALUE) {
      HANDLE pipe = next_;
      OVERLAPPED* overlapped = connectEvent.Begin();
      bool connected = ConnectNamedPipe(pipe, overlapped) || GetLastError() == ERROR_PIPE_CONNECTED;
      if (!connected && GetLastError() == ERROR_IO_PENDING) {
        while (WaitForSingleObject(connectEvent.Event(), kStopPollMs) == WAIT_TIMEOUT && !stopped_.load()) {
        }
        DWORD unused = 0;
        connected = HasOverlappedIoCompleted(overlapped) && GetOverlappedResult(pipe, overlapped, &unused, FALSE);
        if (!HasOverlappedIoCompleted(overlapped)) CancelAndWait(pipe, overlapped);
      }
      // Listening again before this client is served keeps the path openable throughout.
      next_ = stopped_.load() ? INVALID_HANDLE_VALUE : NewInstance(name);
      Serve(pipe, connected);
    }
  }

  void Serve(HANDLE pipe, bool connected) {
    std::shared_ptr<sim::HidDevice> device = connected ? sim::FindHidDevice(devicePath_) : nullptr;
    DWORD error = 0;
    if (!device || !device->CanOpen(&error)) {
      if (connected) DisconnectNamedPipe(pipe);
      CloseHandle(pipe);
      return;
    }
    auto file = std::make_shared<PipeFile>(pipe, device);
    device->Attach(file);
    file->Start();
  }

  const std::wstring devicePath_;
  HANDLE next_;
  std::atomic<bool> stopped_{false};
};

struct Listeners {
  std::mutex lock;
  std::map<std::wstring, std::shared_ptr<Listener>> byPath;
};

Listeners& TheListeners() {
  static Listeners* listeners = new Listeners;
  return *listeners;
}

void OnDirectoryChange(const std::wstring& path, const std::shared_ptr<sim::HidDevice>& device) {
  Listeners& l = TheListeners();
  std::lock_guard<std::mutex> guard(l.lock);
  auto known = l.byPath.find(path);
  if (known != l.byPath.end()) {
    known->second->Stop();
    l.byPath.erase(known);
  }
  if (!device) return;
  // The first instance exists before the registration returns: the path is openable as soon
  // as the system lists it.
  HANDLE first = NewInstance(PipeNameFor(path));
  if (first == INVALID_HANDLE_VALUE) return;
  auto listener = std::make_shared<Listener>(path, first);
  l.byPath[path] = listener;
  listener->Start();
}

}  // namespace

std::wstring PipeNameFor(const std::wstring& devicePath) {
  std::wstring name = devicePath;
  if (name.compare(0, 4, L"\\\\?\\") == 0) name.erase(0, 4);
  for (auto& c : name) {
    c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    if (c == L'\\') c = L'#';  // a pipe's name may hold anything but a backslash
  }
  // Pipe names are machine-wide: a board of another process's world may have the same path.
  return kPipePrefix + std::to_wstring(GetCurrentProcessId()) + L"#" + name;
}

void ServeDevices() {
  static std::once_flag once;
  std::call_once(once, [] { sim::ObserveHidDirectory(OnDirectoryChange); });
}

std::shared_ptr<sim::HidDevice> DeviceForToken(uint32_t token, uint32_t waitMs) {
  Answers& a = TheAnswers();
  std::unique_lock<std::mutex> lock(a.lock);
  a.filed.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return a.byToken.count(token) != 0; });
  auto found = a.byToken.find(token);
  if (found == a.byToken.end()) return nullptr;
  auto device = found->second.lock();
  a.byToken.erase(found);
  return device;
}

}  // namespace standins
