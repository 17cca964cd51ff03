// Class-object registrations and OLE initialisation. A thread's apartment begins with its first
// OleInitialize and ends with the matching OleUninitialize; registrations belong to it.
#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

struct Apartment {
  uint64_t id = 0;  // 0: COM is not initialised on this thread
  int initialisations = 0;
};
thread_local Apartment apartment;
std::atomic<uint64_t> nextApartment{1};

struct Registration {
  DWORD cookie;
  CLSID classId;
  IUnknown* object;  // one reference, held until revoked
  DWORD context;
  uint64_t apartment;
};

struct Registrations {
  std::mutex lock;
  std::vector<Registration> entries;
  DWORD nextCookie = 1;
};

Registrations& TheRegistrations() {
  static Registrations* table = new Registrations;  // outlives every static destructor
  return *table;
}

// Objects are released outside the table lock: a release may call back into COM.
void ReleaseAll(const std::vector<IUnknown*>& objects) {
  for (IUnknown* object : objects) object->Release();
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID classId, DWORD context, COSERVERINFO*, REFIID iid, LPVOID* object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (apartment.id == 0) return CO_E_NOTINITIALIZED;
  IUnknown* found = nullptr;
  {
    Registrations& r = TheRegistrations();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const auto& entry : r.entries) {
      if (entry.apartment == apartment.id && (entry.context & context) != 0 && entry.classId == classId) {
        found = entry.object;
        found->AddRef();
        break;
      }
    }
  }
  if (!found) return REGDB_E_CLASSNOTREG;
  HRESULT result = found->QueryInterface(iid, object);
  found->Release();
  return result;
}

HRESULT CoRegisterClassObject(REFCLSID classId, LPUNKNOWN object, DWORD context, DWORD, LPDWORD cookie) {
  if (!object || !cookie) return E_INVALIDARG;
  *cookie = 0;
  if (apartment.id == 0) return CO_E_NOTINITIALIZED;
  object->AddRef();
  Registrations& r = TheRegistrations();
  std::lock_guard<std::mutex> guard(r.lock);
  *cookie = r.nextCookie++;
  r.entries.push_back({*cookie, classId, object, context, apartment.id});
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  if (apartment.id == 0) return CO_E_NOTINITIALIZED;
  IUnknown* revoked = nullptr;
  {
    Registrations& r = TheRegistrations();
    std::lock_guard<std::mutex> guard(r.lock);
    for (auto it = r.entries.begin(); it != r.entries.end(); ++it) {
      if (it->cookie != cookie) continue;
      if (it->apartment != apartment.id) return RPC_E_WRONG_THREAD;
      revoked = it->object;
      r.entries.erase(it);
      break;
    }
  }
  if (!revoked) return E_INVALIDARG;
  revoked->Release();
  return S_OK;
}

HRESULT OleInitialize(LPVOID reserved) {
  if (reserved) return E_INVALIDARG;
  if (apartment.initialisations++ > 0) return S_FALSE;
  apartment.id = nextApartment++;
  return S_OK;
}

void OleUninitialize() {
  if (apartment.initialisations == 0 || --apartment.initialisations > 0) return;
  std::vector<IUnknown*> revoked;
  {
    Registrations& r = TheRegistrations();
    std::lock_guard<std::mutex> guard(r.lock);
    for (auto it = r.entries.begin(); it != r.entries.end();) {
      if (it->apartment == apartment.id) {
        revoked.push_back(it->object);
        it = r.entries.erase(it);
      } else {
        ++it;
      }
    }
  }
  apartment.id = 0;
  ReleaseAll(revoked);
}
