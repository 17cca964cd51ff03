// A host services object whose release query tests control and whose announcements they read,
// and helpers to run COM code on a thread of its own (a fresh apartment each time).
#pragma once

#include "plugin/host_services.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class FakeHostServices final : public IHostServices {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != kHostServicesInterface) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IHostServices*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }  // owned by the test

  HRESULT STDMETHODCALLTYPE ReleaseQuery(LONG reserved, LONG* noAnnouncement, LONG* detail) override {
    ++queries;
    if (reserved != 0 || !noAnnouncement || !detail) return E_INVALIDARG;
    *noAnnouncement = declineAnnouncement;
    *detail = 0;
    return queryResult;
  }
  HRESULT STDMETHODCALLTYPE Announce(LONG reserved, IOrxString* text) override {
    if (reserved != 0 || !text) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock);
    announcements.emplace_back(text->Chars(), static_cast<size_t>(text->Length()));
    return S_OK;
  }

  std::vector<std::wstring> Announcements() {
    std::lock_guard<std::mutex> guard(lock);
    return announcements;
  }

  std::atomic<ULONG> references{0};
  std::atomic<int> queries{0};
  std::atomic<LONG> declineAnnouncement{0};
  std::atomic<HRESULT> queryResult{S_OK};

 private:
  std::mutex lock;
  std::vector<std::wstring> announcements;
};

// OLE on the calling thread for the life of the object.
class OleThread {
 public:
  OleThread() : result_(OleInitialize(nullptr)) {}
  ~OleThread() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  OleThread(const OleThread&) = delete;
  OleThread& operator=(const OleThread&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// A class object registered on the calling thread for the life of the object.
class ClassRegistration {
 public:
  ClassRegistration(REFCLSID classId, IUnknown* object)
      : result_(CoRegisterClassObject(classId, object, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_)) {}
  ~ClassRegistration() { Revoke(); }
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;
  HRESULT result() const { return result_; }
  void Revoke() {
    if (SUCCEEDED(result_) && cookie_ != 0) CoRevokeClassObject(cookie_);
    cookie_ = 0;
  }

 private:
  DWORD cookie_ = 0;
  HRESULT result_;
};

// COM state belongs to threads: each test's COM work runs on a new one.
inline void OnNewThread(const std::function<void()>& work) { std::thread(work).join(); }

}  // namespace testing_support
