// COM pieces every Windows caller of automation objects needs: the thread's
// apartment, an EXCEPINFO that frees its strings, and the interface query
// and reference count of a COM object implemented here. Windows only, for the *_win32.cpp files of
// every layer.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oaidl.h>

#include <atomic>

namespace traskel {

// CoInitializeEx for the caller's thread as a single-threaded apartment,
// undone when it goes. Nested use is fine.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool entered_ = false;
};

// An EXCEPINFO whose strings are freed with it.
struct ExcepInfo {
  ExcepInfo() { ZeroMemory(&info, sizeof info); }
  ~ExcepInfo();
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;

  // The error's code, once a server that defers filling it in has done so.
  HRESULT Code();

  EXCEPINFO info;
};

// QueryInterface of an object that is one interface of its own, known by
// the ids given and as IUnknown: it gives itself out, counted.
template <typename Interface, typename... Ids>
HRESULT QueryOwnInterface(Interface* self, REFIID iid, void** out, const Ids&... ids) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || ((iid == ids) || ...)) {
    *out = self;
    self->AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// AddRef and Release of a COM object made with new, holding its first
// reference; the last Release deletes it. QueryInterface is the object's.
template <typename Interface>
class ComCounted : public Interface {
 public:
  ComCounted() = default;
  virtual ~ComCounted() = default;
  ComCounted(const ComCounted&) = delete;
  ComCounted& operator=(const ComCounted&) = delete;

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace traskel
