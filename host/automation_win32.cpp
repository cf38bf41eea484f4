// The automation client of Windows: objects created by class name through
// COM, called late-bound through IDispatch.
#include <wrl/client.h>

#include <vector>

#include "host/com_automation.h"
#include "host/com_client_win32.h"
#include "host/com_win32.h"
#include "platform/wide_text_win32.h"

namespace traskel::host {

namespace com {

namespace {

using Microsoft::WRL::ComPtr;

constexpr WORD kResultUsed = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

class DispatchObject final : public Object {
 public:
  explicit DispatchObject(IDispatch* dispatch) : dispatch_(dispatch) {}

  IDispatch* dispatch() const { return dispatch_.Get(); }

  // Gets, and calls whose result is used, go as method and property get at
  // once, as late-bound callers send them: a host answers them whether it
  // made the member a method or a property.
  Value Get(DispId id) override { return Invoke(id, kResultUsed, {}); }

  void Put(DispId id, const Value& value) override {
    const Arg arg[] = {value};
    Invoke(id, DISPATCH_PROPERTYPUT, arg);
  }

  Value Call(DispId id, std::span<const Arg> args) override {
    return Invoke(id, kResultUsed, args);
  }

  Value CallIgnoringResult(DispId id, std::span<const Arg> args) override {
    return Invoke(id, DISPATCH_METHOD, args);
  }

 private:
  Value Invoke(DispId id, WORD kind, std::span<const Arg> args);

  ComPtr<IDispatch> dispatch_;
};

IDispatch* AddedReference(const ObjectPtr& object) {
  if (!object) return nullptr;
  IDispatch* dispatch = DispatchOf(object);
  // Only the client's own objects have an IDispatch to hand on.
  if (dispatch == nullptr) throw TypeMismatch();
  dispatch->AddRef();
  return dispatch;
}

Error InvokeError(HRESULT hr, EXCEPINFO& info) {
  switch (hr) {
    case DISP_E_EXCEPTION:
      return ErrorFromException(info);
    case DISP_E_TYPEMISMATCH:
      return TypeMismatch();
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      return NoSuchMember();
    case DISP_E_BADPARAMCOUNT:
      return WrongArgumentCount();
    default:
      return ErrorFromHresult(hr);
  }
}

// A by-reference argument changed when the callee stored another value; an
// object counts as the same while its IDispatch is.
bool Changed(const Value& before, const Value& after) {
  if (before.type() == Type::Obj && after.type() == Type::Obj) {
    return DispatchOf(before.obj()) != DispatchOf(after.obj());
  }
  return !(before == after);
}

// The VARIANTs of one call's arguments, cleared when the call is done. A
// call has a few, so they live on the stack: a run makes millions of calls,
// and under wine every heap block takes a lock.
class ArgumentVariants {
 public:
  explicit ArgumentVariants(std::size_t n) : n_(n) {
    if (n > kOnStack) {
      onHeap_.resize(2 * n);
      held_ = onHeap_.data();
      list_ = held_ + n;
    }
    for (std::size_t i = 0; i < n; ++i) VariantInit(&held_[i]);
  }
  ~ArgumentVariants() {
    for (std::size_t i = 0; i < n_; ++i) VariantClear(&held_[i]);
  }
  ArgumentVariants(const ArgumentVariants&) = delete;
  ArgumentVariants& operator=(const ArgumentVariants&) = delete;

  // Owns each argument's value, in the caller's order.
  VARIANT& held(std::size_t i) { return held_[i]; }
  // What the callee sees: last argument first.
  VARIANTARG* list() { return list_; }

 private:
  static constexpr std::size_t kOnStack = 8;
  std::size_t n_;
  VARIANT stack_[2 * kOnStack];
  std::vector<VARIANT> onHeap_;
  VARIANT* held_ = stack_;
  VARIANT* list_ = stack_ + kOnStack;
};

Value DispatchObject::Invoke(DispId id, WORD kind, std::span<const Arg> args) {
  const std::size_t n = args.size();
  // By-reference arguments point into the held values.
  ArgumentVariants variants(n);
  for (std::size_t i = 0; i < n; ++i) {
    VARIANT& held = variants.held(i);
    ToVariant(args[i].value(), held, AddedReference);
    VARIANTARG& slot = variants.list()[n - 1 - i];
    if (args[i].byRef()) {
      PointAt(held, slot);
    } else {
      slot = held;
    }
  }
  DISPID namedPut = DISPID_PROPERTYPUT;
  DISPPARAMS params{variants.list(), nullptr, static_cast<UINT>(n), 0};
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &namedPut;
    params.cNamedArgs = 1;
  }
  Variant result;
  ExcepInfo exception;
  UINT argError = 0;
  // A put has no result, and a call made for its effect asks for none.
  const bool wantsResult = (kind & DISPATCH_PROPERTYGET) != 0;
  const HRESULT hr =
      dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params,
                        wantsResult ? &result.get() : nullptr, &exception.info, &argError);
  if (FAILED(hr)) throw InvokeError(hr, exception.info);
  for (std::size_t i = 0; i < n; ++i) {
    if (!args[i].byRef()) continue;
    Value now = FromVariant(variants.held(i), WrapDispatch);
    if (Changed(args[i].value(), now)) args[i].target() = std::move(now);
  }
  return FromVariant(result.get(), WrapDispatch);
}

// Windows asks it what to do when a host answers a call with "retry later".
class BusyMessageFilter final : public ComCounted<IMessageFilter> {
 public:
  explicit BusyMessageFilter(BusyWait wait) : wait_(wait) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return QueryOwnInterface<IMessageFilter>(this, iid, out, IID_IMessageFilter);
  }
  // The client serves no calls of its own.
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }

  // Elapsed is the time since the call began: again after the interval
  // within the budget, and after it the call fails as refused.
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD) override {
    if (elapsed < static_cast<DWORD>(wait_.budget.count())) {
      return static_cast<DWORD>(wait_.interval.count());
    }
    return static_cast<DWORD>(-1);
  }

  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  BusyWait wait_;
};

class ComAutomation final : public Automation {
 public:
  explicit ComAutomation(BusyWait wait) {
    // COM sends a refused call again once, after the interval; refused still,
    // it comes back to the caller's wait, which owns the budget and counts it
    // from there. A longer wait in here would come on top of that budget.
    // Registering fails only outside a single-threaded apartment, where no
    // filter is asked anyway.
    CoRegisterMessageFilter(MakeBusyMessageFilter({wait.interval, wait.interval}).Get(),
                            &previousFilter_);
  }
  ~ComAutomation() override { CoRegisterMessageFilter(previousFilter_.Get(), nullptr); }
  ComAutomation(const ComAutomation&) = delete;
  ComAutomation& operator=(const ComAutomation&) = delete;

  ObjectPtr CreateObject(const std::string& className) override {
    return CreateComObject(className);
  }

 private:
  // Every object of the run is released before this ends the apartment.
  ComApartment apartment_;
  ComPtr<IMessageFilter> previousFilter_;
};

}  // namespace

ObjectPtr WrapDispatch(IDispatch* dispatch) {
  if (dispatch == nullptr) return nullptr;
  return std::make_shared<DispatchObject>(dispatch);
}

IDispatch* DispatchOf(const ObjectPtr& object) {
  const auto* own = dynamic_cast<const DispatchObject*>(object.get());
  return own != nullptr ? own->dispatch() : nullptr;
}

ObjectPtr CreateComObject(const std::string& className) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(Utf16(className).c_str(), &clsid);
  if (FAILED(hr)) throw ErrorFromHresult(hr);
  ComPtr<IDispatch> dispatch;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&dispatch));
  if (FAILED(hr)) throw ErrorFromHresult(hr);
  return WrapDispatch(dispatch.Get());
}

ComPtr<IMessageFilter> MakeBusyMessageFilter(BusyWait wait) {
  ComPtr<IMessageFilter> filter;
  filter.Attach(new BusyMessageFilter(wait));
  return filter;
}

DispId DispIdOfName(const ObjectPtr& object, const std::string& name) {
  IDispatch* dispatch = DispatchOf(object);
  if (dispatch == nullptr) throw ObjectNotSet();
  std::wstring wide = Utf16(name);
  LPOLESTR names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) {
    throw NoSuchMember();
  }
  if (FAILED(hr)) throw ErrorFromHresult(hr);
  return id;
}

}  // namespace com

std::unique_ptr<Automation> MakeComAutomation(BusyWait wait) {
  return std::make_unique<com::ComAutomation>(wait);
}

}  // namespace traskel::host
