// kymhost's own host services, offered before the plug-in loads, as the recording application
// offers its services component: the plug-in asks whether to announce a pre-release build of
// itself and, when told yes, announces it.
#pragma once

#include "plugin/host_services.h"

#include <atomic>

namespace kymhost {

class HostServices final : public IHostServices {
 public:
  explicit HostServices(bool wantAnnouncement) : wantAnnouncement_(wantAnnouncement) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // owned by its registration
  HRESULT STDMETHODCALLTYPE ReleaseQuery(LONG reserved, LONG* noAnnouncement, LONG* detail) override;
  HRESULT STDMETHODCALLTYPE Announce(LONG reserved, IOrxString* text) override;

 private:
  bool wantAnnouncement_;
  std::atomic<ULONG> references_{0};
};

// OLE on the calling thread and the services registered there, for the life of this object.
class HostServicesRegistration {
 public:
  explicit HostServicesRegistration(bool wantAnnouncement);
  ~HostServicesRegistration();
  HostServicesRegistration(const HostServicesRegistration&) = delete;
  HostServicesRegistration& operator=(const HostServicesRegistration&) = delete;
  HRESULT result() const { return result_; }  // a failure leaves the plug-in to its fall-back

 private:
  HostServices services_;
  HRESULT oleResult_;
  HRESULT result_;
  DWORD cookie_ = 0;
};

}  // namespace kymhost
