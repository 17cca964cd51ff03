// What the simulated world's system API functions need from a Windows process: real kernel
// handles for their objects (the plug-in closes radios with kernel32's CloseHandle), real time,
// and the device behind a handle that kernel32 opened on a device pipe.
#include "device_pipes.h"
#include "overlapped_event.h"
#include "slow_cancel.h"
#include "sim/clock.h"
#include "sim/system_api/api_handles.h"

#include <atomic>
#include <map>
#include <mutex>

namespace {

// How long a device has to say which it is before a HidD_ call fails.
constexpr DWORD kWhichDeviceWaitMs = 1000;

struct ApiHandles {
  std::mutex lock;
  // A handle the plug-in closed itself stays listed until its value is used again.
  std::map<HANDLE, std::shared_ptr<sim::ApiObject>> objects;
};

ApiHandles& TheHandles() {
  static ApiHandles* handles = new ApiHandles;
  return *handles;
}

// Devices are served from the moment the library is loaded, before any world is built.
struct Serving {
  Serving() { standins::ServeDevices(); }
} serving;

}  // namespace

sim::Clock& sim::HostClock() { return RealTimeClock(); }

HANDLE sim::AddApiHandle(std::shared_ptr<ApiObject> object) {
  HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!handle) return nullptr;
  ApiHandles& h = TheHandles();
  std::lock_guard<std::mutex> guard(h.lock);
  h.objects[handle] = std::move(object);
  return handle;
}

std::shared_ptr<sim::ApiObject> sim::LookUpApiHandle(HANDLE handle) {
  ApiHandles& h = TheHandles();
  std::lock_guard<std::mutex> guard(h.lock);
  auto found = h.objects.find(handle);
  return found == h.objects.end() ? nullptr : found->second;
}

bool sim::CloseApiHandle(HANDLE handle) {
  {
    ApiHandles& h = TheHandles();
    std::lock_guard<std::mutex> guard(h.lock);
    if (!h.objects.erase(handle)) return false;
  }
  return CloseHandle(handle) != FALSE;
}

std::wstring sim::OpenablePathOf(const std::wstring& devicePath) { return standins::PipeNameFor(devicePath); }

// The handle itself carries the question to the device's pipe, so no table of handle values is
// needed: the pipe's server files its device under the token.
std::shared_ptr<sim::HidDevice> sim::DeviceOfHandle(HANDLE file) {
  // The plug-in asks about a device it opened: it is loaded, and its imports are bound.
  standins::TakeOverPluginCancelIo();
  static std::atomic<uint32_t> lastToken{0};
  // Reports are whole messages, whatever size a read asks for, as a HID driver delivers them.
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(file, &mode, nullptr, nullptr)) return nullptr;
  uint32_t token = ++lastToken;
  uint8_t request[standins::kWhichDeviceRequestLength] = {
      standins::kWhichDeviceRequest, static_cast<uint8_t>(token), static_cast<uint8_t>(token >> 8),
      static_cast<uint8_t>(token >> 16), static_cast<uint8_t>(token >> 24)};
  standins::OverlappedEvent writeEvent;
  bool sent = standins::WriteWithin(file, writeEvent, request, sizeof request, kWhichDeviceWaitMs);
  return sent ? standins::DeviceForToken(token, kWhichDeviceWaitMs) : nullptr;
}
