// The host services interface as the plug-in calls it. The plug-in uses two operations, known by
// their places in the interface's table (0-based, IUnknown's three first); the places between
// keep their slots, and what they do is the host's business.
#pragma once

#include "platform/win32.h"
#include "plugin/host_identifiers.h"
#include "support/orx_string.h"

constexpr int kReleaseQueryPlace = 51;
constexpr int kAnnouncePlace = 57;

#define PLANKSCALE_HOST_SLOT(n) \
  virtual HRESULT STDMETHODCALLTYPE Operation##n() { return E_NOTIMPL; }

// The SDK's IUnknown has a public non-virtual destructor; nothing is ever deleted through it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct IHostServices : public IUnknown {
  PLANKSCALE_HOST_SLOT(3) PLANKSCALE_HOST_SLOT(4) PLANKSCALE_HOST_SLOT(5) PLANKSCALE_HOST_SLOT(6)
  PLANKSCALE_HOST_SLOT(7) PLANKSCALE_HOST_SLOT(8) PLANKSCALE_HOST_SLOT(9) PLANKSCALE_HOST_SLOT(10)
  PLANKSCALE_HOST_SLOT(11) PLANKSCALE_HOST_SLOT(12) PLANKSCALE_HOST_SLOT(13) PLANKSCALE_HOST_SLOT(14)
  PLANKSCALE_HOST_SLOT(15) PLANKSCALE_HOST_SLOT(16) PLANKSCALE_HOST_SLOT(17) PLANKSCALE_HOST_SLOT(18)
  PLANKSCALE_HOST_SLOT(19) PLANKSCALE_HOST_SLOT(20) PLANKSCALE_HOST_SLOT(21) PLANKSCALE_HOST_SLOT(22)
  PLANKSCALE_HOST_SLOT(23) PLANKSCALE_HOST_SLOT(24) PLANKSCALE_HOST_SLOT(25) PLANKSCALE_HOST_SLOT(26)
  PLANKSCALE_HOST_SLOT(27) PLANKSCALE_HOST_SLOT(28) PLANKSCALE_HOST_SLOT(29) PLANKSCALE_HOST_SLOT(30)
  PLANKSCALE_HOST_SLOT(31) PLANKSCALE_HOST_SLOT(32) PLANKSCALE_HOST_SLOT(33) PLANKSCALE_HOST_SLOT(34)
  PLANKSCALE_HOST_SLOT(35) PLANKSCALE_HOST_SLOT(36) PLANKSCALE_HOST_SLOT(37) PLANKSCALE_HOST_SLOT(38)
  PLANKSCALE_HOST_SLOT(39) PLANKSCALE_HOST_SLOT(40) PLANKSCALE_HOST_SLOT(41) PLANKSCALE_HOST_SLOT(42)
  PLANKSCALE_HOST_SLOT(43) PLANKSCALE_HOST_SLOT(44) PLANKSCALE_HOST_SLOT(45) PLANKSCALE_HOST_SLOT(46)
  PLANKSCALE_HOST_SLOT(47) PLANKSCALE_HOST_SLOT(48) PLANKSCALE_HOST_SLOT(49) PLANKSCALE_HOST_SLOT(50)
  // A non-zero first answer: the host wants no pre-release announcement.
  virtual HRESULT STDMETHODCALLTYPE ReleaseQuery(LONG reserved, LONG* noAnnouncement, LONG* detail) = 0;  // 51
  PLANKSCALE_HOST_SLOT(52) PLANKSCALE_HOST_SLOT(53) PLANKSCALE_HOST_SLOT(54) PLANKSCALE_HOST_SLOT(55)
  PLANKSCALE_HOST_SLOT(56)
  // The text stays the caller's: a host that keeps it takes a reference of its own.
  virtual HRESULT STDMETHODCALLTYPE Announce(LONG reserved, IOrxString* text) = 0;  // 57

 protected:
  ~IHostServices() = default;
};
#pragma GCC diagnostic pop

#undef PLANKSCALE_HOST_SLOT
