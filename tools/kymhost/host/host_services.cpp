#include "host/host_services.h"

#include <cstdio>
#include <string>

namespace kymhost {

namespace {

std::string Utf8(const wchar_t* text, int length) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], size, nullptr, nullptr);
  return out;
}

}  // namespace

HRESULT HostServices::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid != IID_IUnknown && iid != kHostServicesInterface) return E_NOINTERFACE;
  AddRef();
  *object = static_cast<IHostServices*>(this);
  return S_OK;
}

HRESULT HostServices::ReleaseQuery(LONG, LONG* noAnnouncement, LONG* detail) {
  if (!noAnnouncement || !detail) return E_POINTER;
  *noAnnouncement = wantAnnouncement_ ? 0 : 1;
  *detail = 0;
  return S_OK;
}

HRESULT HostServices::Announce(LONG, IOrxString* text) {
  if (!text) return E_POINTER;
  std::printf("The plug-in announces a pre-release build: %s\n", Utf8(text->Chars(), text->Length()).c_str());
  std::fflush(stdout);
  return S_OK;
}

HostServicesRegistration::HostServicesRegistration(bool wantAnnouncement)
    : services_(wantAnnouncement), oleResult_(OleInitialize(nullptr)), result_(oleResult_) {
  if (SUCCEEDED(oleResult_))
    result_ = CoRegisterClassObject(kHostServicesClass, &services_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie_);
}

HostServicesRegistration::~HostServicesRegistration() {
  if (cookie_ != 0) CoRevokeClassObject(cookie_);
  if (SUCCEEDED(oleResult_)) OleUninitialize();
}

}  // namespace kymhost
