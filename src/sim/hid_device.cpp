#include "sim/hid_device.h"

#include <algorithm>
#include <cwctype>
#include <map>

namespace sim {

namespace {

struct Directory {
  std::mutex lock;
  std::map<std::wstring, std::shared_ptr<HidDevice>> devices;  // by lower-case path
  std::vector<std::wstring> paths;                             // as registered, in order
  std::function<void(const std::wstring&, std::shared_ptr<HidDevice>)> observer;
};

void Tell(Directory& d, const std::wstring& path, std::shared_ptr<HidDevice> device) {
  std::function<void(const std::wstring&, std::shared_ptr<HidDevice>)> observer;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    observer = d.observer;
  }
  if (observer) observer(path, std::move(device));
}

Directory& TheDirectory() {
  static Directory* directory = new Directory;  // boards are listed until the end of the process
  return *directory;
}

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

}  // namespace

void HidDevice::SetIdentity(const HidIdentity& identity) {
  std::lock_guard<std::mutex> guard(lock_);
  identity_ = identity;
}

HidIdentity HidDevice::Identity() const {
  std::lock_guard<std::mutex> guard(lock_);
  return identity_;
}

void HidDevice::Attach(const std::shared_ptr<HidDeviceFile>& file) {
  std::lock_guard<std::mutex> guard(lock_);
  files_.push_back(file);
}

void HidDevice::Detach(const HidDeviceFile* file) {
  // Released after the lock: dropping a last reference closes that file, which detaches too.
  std::vector<std::shared_ptr<HidDeviceFile>> others;
  std::lock_guard<std::mutex> guard(lock_);
  files_.erase(std::remove_if(files_.begin(), files_.end(),
                              [file, &others](const std::weak_ptr<HidDeviceFile>& f) {
                                auto locked = f.lock();
                                if (!locked || locked.get() == file) return true;
                                others.push_back(std::move(locked));
                                return false;
                              }),
               files_.end());
}

std::vector<std::shared_ptr<HidDeviceFile>> HidDevice::OpenFiles() const {
  std::vector<std::shared_ptr<HidDeviceFile>> open;
  std::lock_guard<std::mutex> guard(lock_);
  for (auto& f : files_)
    if (auto locked = f.lock()) open.push_back(locked);
  return open;
}

int HidDevice::OpenFileCount() const { return static_cast<int>(OpenFiles().size()); }

int HidDevice::PendingReadCount() const {
  size_t n = 0;
  for (auto& file : OpenFiles()) n += file->PendingReads();
  return static_cast<int>(n);
}

bool HidDevice::ReadFailure(DWORD* readError) const {
  std::lock_guard<std::mutex> guard(lock_);
  *readError = readError_;
  return disconnected_;
}

void HidDevice::DelayCancellation(uint64_t micros) {
  std::lock_guard<std::mutex> guard(lock_);
  cancellationDelay_ = micros;
}

uint64_t HidDevice::CancellationDelay() const {
  std::lock_guard<std::mutex> guard(lock_);
  return cancellationDelay_;
}

void HidDevice::DelayWrites(uint64_t micros) {
  std::lock_guard<std::mutex> guard(lock_);
  writeDelay_ = micros;
}

uint64_t HidDevice::WriteDelay() const {
  std::lock_guard<std::mutex> guard(lock_);
  return writeDelay_;
}

void HidDevice::PushInputReport(const std::vector<uint8_t>& report) {
  if (IsDisconnected()) return;
  for (auto& file : OpenFiles()) file->Deliver(report);
}

void HidDevice::Disconnect(DWORD readError, uint32_t completionStatus) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    disconnected_ = true;
    readError_ = readError;
  }
  for (auto& file : OpenFiles()) file->Fail(completionStatus);
}

void HidDevice::Reconnect() {
  std::lock_guard<std::mutex> guard(lock_);
  disconnected_ = false;
}

bool HidDevice::IsDisconnected() const {
  std::lock_guard<std::mutex> guard(lock_);
  return disconnected_;
}

void RegisterHidDevice(const std::wstring& path, std::shared_ptr<HidDevice> device) {
  Directory& d = TheDirectory();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    std::wstring key = Lower(path);
    auto known = std::find_if(d.paths.begin(), d.paths.end(), [&](const std::wstring& p) { return Lower(p) == key; });
    if (known == d.paths.end()) d.paths.push_back(path);
    d.devices[key] = device;
  }
  Tell(d, path, std::move(device));
}

void UnregisterHidDevice(const std::wstring& path) {
  Directory& d = TheDirectory();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    std::wstring key = Lower(path);
    d.devices.erase(key);
    d.paths.erase(
        std::remove_if(d.paths.begin(), d.paths.end(), [&](const std::wstring& p) { return Lower(p) == key; }),
        d.paths.end());
  }
  Tell(d, path, nullptr);
}

void ObserveHidDirectory(std::function<void(const std::wstring&, std::shared_ptr<HidDevice>)> observer) {
  Directory& d = TheDirectory();
  std::lock_guard<std::mutex> guard(d.lock);
  d.observer = std::move(observer);
}

std::vector<std::wstring> RegisteredHidDevicePaths() {
  Directory& d = TheDirectory();
  std::lock_guard<std::mutex> guard(d.lock);
  return d.paths;
}

std::shared_ptr<HidDevice> FindHidDevice(const std::wstring& path) {
  Directory& d = TheDirectory();
  std::lock_guard<std::mutex> guard(d.lock);
  auto it = d.devices.find(Lower(path));
  return it == d.devices.end() ? nullptr : it->second;
}

}  // namespace sim
