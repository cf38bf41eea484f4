// The simulated host's COM server, the part both of its forms share: the
// objects, their class objects and the registration. quorvex_sim.dll and
// quorvex_sim_host.exe add only their entry points.
#include <windows.h>
// After windows.h, which they need.
#include <oaidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "host/com_win32.h"
#include "host/value.h"
#include "platform/com_win32.h"
#include "platform/wide_text_win32.h"
#include "quorvex_sim/com_server_win32.h"
#include "quorvex_sim/sim_host.h"

namespace quorvex_sim::com_server {
namespace {

using Microsoft::WRL::ComPtr;
using traskel::host::Arg;
using traskel::host::Error;
using traskel::host::ObjectPtr;
using traskel::host::Value;
namespace com = traskel::host::com;

constexpr CLSID kClassIds[] = {
    // {ED5B756F-3710-4340-BB7D-67BE11EEA4B3}
    {0xed5b756f, 0x3710, 0x4340, {0xbb, 0x7d, 0x67, 0xbe, 0x11, 0xee, 0xa4, 0xb3}},
    // {1ECD403A-1132-48E4-9970-186238FF2AB0}
    {0x1ecd403a, 0x1132, 0x48e4, {0x99, 0x70, 0x18, 0x62, 0x38, 0xff, 0x2a, 0xb0}},
};
// Answered only by this server's own objects, so one that comes back as an
// argument is known again as the model's object.
// {696EC844-3B21-49BC-A0D7-AFE5BFDC2CAD}
constexpr IID kOwnObjectIid = {
    0x696ec844, 0x3b21, 0x49bc, {0xa0, 0xd7, 0xaf, 0xe5, 0xbf, 0xdc, 0x2c, 0xad}};

struct ServerClass {
  const CLSID& clsid;
  const char* progId;
  const wchar_t* description;
};

const ServerClass kClasses[] = {
    {kClassIds[0], "Quorvex.Application", L"Quorvex application (simulated host)"},
    {kClassIds[1], "Quorvex.PointData", L"Quorvex point data (simulated host)"},
};

// Under HKEY_CLASSES_ROOT: wine finds classes registered only per user
// (HKCU\Software\Classes) by CLSID, not by ProgID. On Windows this takes
// administrator rights.
const HKEY kClassesRoot = HKEY_CLASSES_ROOT;

// Objects handed out plus server locks, and class objects: a DLL stays
// loaded while any is alive, a program serves while objects or locks are.
std::atomic<long> objectsAndLocks{0};
std::atomic<long> classObjects{0};
std::atomic<bool> clientHasCome{false};
std::function<void()> noObjectsLeft;
std::function<void()> processEnd;
std::weak_ptr<SimHost> processHost;

void ObjectOrLockGone() {
  if (--objectsAndLocks == 0 && noObjectsLeft) noObjectsLeft();
}

// A server has no console of its own to draw a progress line on, and the
// client's run ends without telling it, so no listing either.
// QUORVEX_SIM_HAND_BACK_POINT_DATA=1 makes FeatureData 60 hand back a new
// point-data object, as the real host may.
Options ServerOptions() {
  Options options = Options::FromEnvironment();
  options.showProgress = false;
  options.printListing = false;
  const char* handBack = std::getenv("QUORVEX_SIM_HAND_BACK_POINT_DATA");
  options.handBackNewPointData = handBack != nullptr && std::string(handBack) == "1";
  options.endProcess = processEnd;
  return options;
}

// An object of another server, handed in as an argument; the model only
// names it.
class ForeignObject final : public traskel::host::Object {
 public:
  explicit ForeignObject(IDispatch* dispatch) : dispatch_(dispatch) {}
  IDispatch* dispatch() const { return dispatch_.Get(); }
  Value Get(traskel::host::DispId) override { throw traskel::host::NoSuchMember(); }
  void Put(traskel::host::DispId, const Value&) override { throw traskel::host::NoSuchMember(); }
  Value Call(traskel::host::DispId, std::span<const Arg>) override {
    throw traskel::host::NoSuchMember();
  }

 private:
  ComPtr<IDispatch> dispatch_;
};

// Gives a new object (holding its first reference) to the caller as the
// interface asked for, or destroys it. Not ComPtr::Attach: mingw's adds a
// reference where Microsoft's takes the one there is.
template <typename Object>
HRESULT HandOut(Object* fresh, REFIID riid, void** out) {
  const HRESULT hr = fresh->QueryInterface(riid, out);
  fresh->Release();
  return hr;
}

void FillException(EXCEPINFO* info, int number, const std::string& text) {
  if (info == nullptr) return;
  ZeroMemory(info, sizeof *info);
  // One of the two codes carries the number: wCode when it fits.
  if (number > 0 && number <= 0xFFFF) {
    info->wCode = static_cast<WORD>(number);
  } else {
    info->scode = static_cast<SCODE>(number);
  }
  try {
    info->bstrSource = com::Bstr("Quorvex").release();
    info->bstrDescription = com::Bstr(text).release();
  } catch (const std::bad_alloc&) {
    // The number alone still tells.
  }
}

class ServerObject final : public traskel::ComCounted<IDispatch> {
 public:
  ServerObject(std::shared_ptr<SimHost> host, ObjectPtr object)
      : host_(std::move(host)), object_(std::move(object)) {
    ++objectsAndLocks;
  }
  ~ServerObject() override { ObjectOrLockGone(); }

  const ObjectPtr& object() const { return object_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return traskel::QueryOwnInterface<IDispatch>(this, riid, out, IID_IDispatch, kOwnObjectIid);
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;
  }

  // The host is called by dispatch id only.
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                          DISPID* ids) override {
    for (UINT i = 0; ids != nullptr && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (params == nullptr) params = &none;
    if (result != nullptr) VariantInit(result);
    try {
      return Dispatch(id, flags, *params, result, argError);
    } catch (const Error& e) {
      if (e.number() == traskel::host::kTypeMismatch) return DISP_E_TYPEMISMATCH;
      // A system error as it is: a busy host refuses as COM does.
      if (traskel::host::IsComError(e.number())) return e.number();
      FillException(exception, e.number(), e.text());
      return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      FillException(exception, static_cast<int>(E_FAIL), e.what());
      return DISP_E_EXCEPTION;
    }
  }

 private:
  IDispatch* Wrap(const ObjectPtr& object) const {
    if (!object) return nullptr;
    if (const auto* foreign = dynamic_cast<const ForeignObject*>(object.get())) {
      foreign->dispatch()->AddRef();
      return foreign->dispatch();
    }
    return new ServerObject(host_, object);
  }

  static ObjectPtr Known(IDispatch* dispatch) {
    ComPtr<IDispatch> own;
    if (SUCCEEDED(dispatch->QueryInterface(kOwnObjectIid,
                                           reinterpret_cast<void**>(own.GetAddressOf())))) {
      return static_cast<ServerObject*>(own.Get())->object();
    }
    return std::make_shared<ForeignObject>(dispatch);
  }

  HRESULT Dispatch(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result,
                   UINT* argError) {
    const UINT n = params.cArgs;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (put) {
      if (params.cNamedArgs != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
        return DISP_E_PARAMNOTFOUND;
      }
      if (n != 1) return DISP_E_BADPARAMCOUNT;
    } else if (params.cNamedArgs != 0) {
      return DISP_E_NONAMEDARGS;
    }

    // Parameter order is the reverse of the array's.
    std::vector<Value> values(n);
    for (UINT i = 0; i < n; ++i) {
      try {
        values[i] = com::FromVariant(params.rgvarg[n - 1 - i], Known);
      } catch (const Error& e) {
        if (e.number() == traskel::host::kTypeMismatch && argError != nullptr) {
          *argError = n - 1 - i;
        }
        throw;
      }
    }
    const auto byRef = [&](UINT i) { return (params.rgvarg[n - 1 - i].vt & VT_BYREF) != 0; };
    const std::vector<Value> before = values;
    std::vector<Arg> args;
    args.reserve(n);
    for (UINT i = 0; i < n; ++i) {
      args.push_back(byRef(i) ? traskel::host::ByRef(values[i]) : Arg(values[i]));
    }

    // Late-bound callers send a get, and a call whose result they use, as
    // both at once; the objects tell which of their members that reaches.
    Value out;
    const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
    const bool method = (flags & DISPATCH_METHOD) != 0;
    if (put) {
      object_->Put(id, values[0]);
    } else if (get && method) {
      out = object_->Call(id, args);
    } else if (method) {
      out = object_->CallIgnoringResult(id, args);
    } else if (get) {
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      out = object_->Get(id);
    } else {
      return DISP_E_MEMBERNOTFOUND;
    }

    const auto wrap = [this](const ObjectPtr& o) { return Wrap(o); };
    for (UINT i = 0; i < n; ++i) {
      if (!byRef(i) || values[i] == before[i]) continue;
      com::Variant changed;
      com::ToVariant(values[i], changed.get(), wrap);
      const HRESULT hr = com::StoreThrough(params.rgvarg[n - 1 - i], changed.get());
      if (FAILED(hr)) return hr;
    }
    if (result != nullptr) com::ToVariant(out, *result, wrap);
    return S_OK;
  }

  std::shared_ptr<SimHost> host_;
  ObjectPtr object_;
};

class ClassFactory final : public traskel::ComCounted<IClassFactory> {
 public:
  explicit ClassFactory(const ServerClass& serverClass) : class_(serverClass) { ++classObjects; }
  ~ClassFactory() override { --classObjects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return traskel::QueryOwnInterface<IClassFactory>(this, riid, out, IID_IClassFactory);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    clientHasCome = true;
    const HRESULT hr = Create(riid, out);
    // A refusal while busy is no reason to end: the client comes again.
    if (FAILED(hr) && hr != RPC_E_CALL_REJECTED && objectsAndLocks == 0 && noObjectsLeft) {
      noObjectsLeft();
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++objectsAndLocks;
    } else {
      ObjectOrLockGone();
    }
    return S_OK;
  }

 private:
  HRESULT Create(REFIID riid, void** out) {
    try {
      std::shared_ptr<SimHost> host = ProcessHost();
      ObjectPtr object = host->CreateObject(class_.progId);
      return HandOut(new ServerObject(std::move(host), std::move(object)), riid, out);
    } catch (const Error& e) {
      if (traskel::host::IsComError(e.number())) return e.number();
      // A numbered error, as automation servers raise one.
      return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, e.number() & 0xFFFF);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  const ServerClass& class_;
};

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(kClassesRoot, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LSTATUS status =
      RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return status == ERROR_SUCCESS;
}

bool RemoveTree(const std::wstring& key) {
  const LSTATUS status = RegDeleteTreeW(kClassesRoot, key.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::wstring ClassKey(const ServerClass& c) {
  return std::wstring(L"CLSID\\") + GuidText(c.clsid);
}

}  // namespace

std::span<const CLSID> ClassIds() {
  return kClassIds;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  for (const ServerClass& c : kClasses) {
    if (clsid != c.clsid) continue;
    auto* factory = new (std::nothrow) ClassFactory(c);
    if (factory == nullptr) return E_OUTOFMEMORY;
    return HandOut(factory, riid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

std::shared_ptr<SimHost> ProcessHost() {
  if (auto host = processHost.lock()) return host;
  auto host = std::make_shared<SimHost>(ServerOptions());
  processHost = host;
  return host;
}

void EndProcessWith(std::function<void()> endProcess) {
  processEnd = std::move(endProcess);
}

bool Unused() {
  return objectsAndLocks == 0 && classObjects == 0;
}

bool ClientHasCome() {
  return clientHasCome;
}

void WhenNoObjectsLeft(std::function<void()> callback) {
  noObjectsLeft = std::move(callback);
}

HRESULT Register(Serving serving, const std::wstring& modulePath) {
  const bool inProcess = serving == Serving::InProcess;
  const wchar_t* const server = inProcess ? L"\\InprocServer32" : L"\\LocalServer32";
  const wchar_t* const other = inProcess ? L"\\LocalServer32" : L"\\InprocServer32";
  // COM starts the program by this command line, adding a switch of its own.
  const std::wstring command = inProcess ? modulePath : L"\"" + modulePath + L"\"";
  for (const ServerClass& c : kClasses) {
    const std::wstring classKey = ClassKey(c);
    const std::wstring progIdKey = traskel::Utf16(c.progId);
    const bool ok = SetValue(classKey, nullptr, c.description) &&
                    SetValue(classKey + server, nullptr, command) &&
                    (!inProcess || SetValue(classKey + server, L"ThreadingModel", L"Apartment")) &&
                    RemoveTree(classKey + other) &&
                    SetValue(classKey + L"\\ProgID", nullptr, progIdKey) &&
                    SetValue(progIdKey, nullptr, c.description) &&
                    SetValue(progIdKey + L"\\CLSID", nullptr, GuidText(c.clsid));
    if (!ok) return SELFREG_E_CLASS;
  }
  return S_OK;
}

HRESULT Unregister() {
  HRESULT result = S_OK;
  for (const ServerClass& c : kClasses) {
    for (const std::wstring& key : {ClassKey(c), traskel::Utf16(c.progId)}) {
      if (!RemoveTree(key)) result = SELFREG_E_CLASS;
    }
  }
  return result;
}

}  // namespace quorvex_sim::com_server
