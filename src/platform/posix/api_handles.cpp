// The handles of the simulated system API functions are kernel handles of this layer, and a
// device handle is one of its device files.
#include "platform/posix/hid_endpoint.h"
#include "platform/posix/kernel.h"
#include "sim/system_api/api_handles.h"

namespace {

struct ApiHandle : posix::KernelObject {
  explicit ApiHandle(std::shared_ptr<sim::ApiObject> o) : object(std::move(o)) {}
  std::shared_ptr<sim::ApiObject> object;
};

}  // namespace

HANDLE sim::AddApiHandle(std::shared_ptr<ApiObject> object) {
  return posix::AddHandle(std::make_shared<ApiHandle>(std::move(object)));
}

std::shared_ptr<sim::ApiObject> sim::LookUpApiHandle(HANDLE handle) {
  auto found = posix::LookUpAs<ApiHandle>(handle);
  return found ? found->object : nullptr;
}

bool sim::CloseApiHandle(HANDLE handle) { return posix::LookUpAs<ApiHandle>(handle) && CloseHandle(handle); }

std::shared_ptr<sim::HidDevice> sim::DeviceOfHandle(HANDLE file) { return posix::EndpointOf(file); }

std::wstring sim::OpenablePathOf(const std::wstring& devicePath) { return devicePath; }
