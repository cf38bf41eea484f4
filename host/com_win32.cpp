#include "host/com_win32.h"

#include <wrl/client.h>

#include <algorithm>
#include <climits>
#include <new>

#include "platform/wide_text_win32.h"

namespace traskel::host::com {

using Microsoft::WRL::ComPtr;

Bstr::Bstr(std::string_view utf8) {
  // Written straight into the string: every text argument of a run makes
  // one, and plain ASCII, most of them, needs no conversion call.
  if (utf8.size() > INT_MAX) throw std::bad_alloc();
  const int in = static_cast<int>(utf8.size());
  const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const int n =
      ascii || in == 0 ? in : MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, nullptr, 0);
  if (n < 0 || (in > 0 && n == 0)) throw std::bad_alloc();
  b_ = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (b_ == nullptr) throw std::bad_alloc();
  if (ascii) {
    std::copy(utf8.begin(), utf8.end(), b_);
  } else if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, b_, n);
  }
}

std::string Utf8(BSTR b) {
  if (b == nullptr) return {};
  return traskel::Utf8(std::wstring_view(b, SysStringLen(b)));
}

int ErrorNumber(HRESULT hr) {
  if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_CONTROL) return HRESULT_CODE(hr);
  return static_cast<int>(hr);
}

namespace {

// For systems whose message tables lack the automation codes.
const char* KnownText(HRESULT hr) {
  switch (hr) {
    case CO_E_CLASSSTRING:
      return "Invalid class string";
    case REGDB_E_CLASSNOTREG:
      return "Class not registered";
    case CO_E_NOTINITIALIZED:
      return "CoInitialize has not been called";
    case E_NOINTERFACE:
      return "No such interface supported";
    case E_OUTOFMEMORY:
      return "Out of memory";
    case E_ACCESSDENIED:
      return "Access is denied";
    case E_FAIL:
      return "Operation failed";
    default:
      return nullptr;
  }
}

Value Coerced(const VARIANT& v, VARTYPE type, const FromDispatch& fromDispatch) {
  Variant converted;
  // The API reads the source only; its declaration here lacks the const.
  const HRESULT hr = VariantChangeType(&converted.get(), const_cast<VARIANT*>(&v), 0, type);
  if (hr == DISP_E_OVERFLOW) throw Overflow();
  if (FAILED(hr)) throw TypeMismatch();
  return FromVariant(converted.get(), fromDispatch);
}

}  // namespace

std::string SystemText(HRESULT hr) {
  std::string text = SystemMessage(static_cast<unsigned long>(hr));
  if (!text.empty()) return text;
  if (const char* known = KnownText(hr)) return known;
  if (ErrorNumber(hr) == kCallRejected) return CallRejected().text();
  return "Automation error " + HresultText(hr);
}

Error ErrorFromHresult(HRESULT hr) {
  return Error(ErrorNumber(hr), SystemText(hr));
}

Error ErrorFromException(EXCEPINFO& info) {
  if (info.pfnDeferredFillIn != nullptr) {
    info.pfnDeferredFillIn(&info);
    info.pfnDeferredFillIn = nullptr;
  }
  const HRESULT code = info.scode != 0 ? info.scode : DISP_E_EXCEPTION;
  const int number = info.wCode != 0 ? info.wCode : ErrorNumber(code);
  std::string text = Utf8(info.bstrDescription);
  if (text.empty()) text = SystemText(code);
  return Error(number, std::move(text));
}

void ToVariant(const Value& value, VARIANT& out, const ToDispatch& toDispatch) {
  switch (value.type()) {
    case Type::Empty:
      V_VT(&out) = VT_EMPTY;
      return;
    case Type::I2:
      V_VT(&out) = VT_I2;
      V_I2(&out) = value.i2();
      return;
    case Type::I4:
      V_VT(&out) = VT_I4;
      V_I4(&out) = value.i4();
      return;
    case Type::R8:
      V_VT(&out) = VT_R8;
      V_R8(&out) = value.r8();
      return;
    case Type::Str:
      V_BSTR(&out) = Bstr(value.str()).release();
      V_VT(&out) = VT_BSTR;
      return;
    case Type::Bool:
      V_VT(&out) = VT_BOOL;
      V_BOOL(&out) = value.boolean() ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case Type::Obj:
      V_DISPATCH(&out) = toDispatch(value.obj());
      V_VT(&out) = VT_DISPATCH;
      return;
  }
}

Value FromVariant(const VARIANT& v, const FromDispatch& fromDispatch) {
  if ((V_VT(&v) & VT_BYREF) != 0) {
    Variant plain;
    if (FAILED(VariantCopyInd(&plain.get(), const_cast<VARIANT*>(&v)))) throw TypeMismatch();
    return FromVariant(plain.get(), fromDispatch);
  }
  switch (V_VT(&v)) {
    case VT_EMPTY:
      return Value();
    case VT_I2:
      return I2(V_I2(&v));
    case VT_I4:
      return I4(V_I4(&v));
    case VT_R8:
      return R8(V_R8(&v));
    case VT_BSTR:
      return Str(Utf8(V_BSTR(&v)));
    case VT_BOOL:
      return Bool(V_BOOL(&v) != VARIANT_FALSE);
    case VT_DISPATCH:
      return Obj(V_DISPATCH(&v) != nullptr ? fromDispatch(V_DISPATCH(&v)) : nullptr);
    case VT_UNKNOWN: {
      if (V_UNKNOWN(&v) == nullptr) return Obj(nullptr);
      ComPtr<IDispatch> dispatch;
      if (FAILED(V_UNKNOWN(&v)->QueryInterface(IID_PPV_ARGS(&dispatch)))) throw TypeMismatch();
      return Obj(fromDispatch(dispatch.Get()));
    }
    case VT_NULL:
      throw Error(94, "Invalid use of Null");
    case VT_I1:
    case VT_UI1:
      return Coerced(v, VT_I2, fromDispatch);
    case VT_UI2:
    case VT_INT:
    case VT_UINT:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
      return Coerced(v, VT_I4, fromDispatch);
    case VT_R4:
    case VT_CY:
    case VT_DATE:
    case VT_DECIMAL:
      return Coerced(v, VT_R8, fromDispatch);
    default:
      throw TypeMismatch();
  }
}

void PointAt(VARIANT& storage, VARIANT& ref) {
  VariantInit(&ref);
  switch (V_VT(&storage)) {
    case VT_I2:
      V_I2REF(&ref) = &V_I2(&storage);
      break;
    case VT_I4:
      V_I4REF(&ref) = &V_I4(&storage);
      break;
    case VT_R8:
      V_R8REF(&ref) = &V_R8(&storage);
      break;
    case VT_BSTR:
      V_BSTRREF(&ref) = &V_BSTR(&storage);
      break;
    case VT_BOOL:
      V_BOOLREF(&ref) = &V_BOOL(&storage);
      break;
    case VT_DISPATCH:
      V_DISPATCHREF(&ref) = &V_DISPATCH(&storage);
      break;
    default:
      V_VT(&ref) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&ref) = &storage;
      return;
  }
  V_VT(&ref) = VT_BYREF | V_VT(&storage);
}

HRESULT StoreThrough(const VARIANT& ref, VARIANT& value) {
  const VARTYPE target = V_VT(&ref) & VT_TYPEMASK;
  if ((V_VT(&ref) & VT_BYREF) == 0 || V_BYREF(&ref) == nullptr) return E_INVALIDARG;
  if (target == VT_VARIANT) {
    VARIANT* dest = V_VARIANTREF(&ref);
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) return hr;
    *dest = value;
    V_VT(&value) = VT_EMPTY;
    return S_OK;
  }
  if (V_VT(&value) != target && FAILED(VariantChangeType(&value, &value, 0, target))) {
    return DISP_E_TYPEMISMATCH;
  }
  switch (target) {
    case VT_I2:
      *V_I2REF(&ref) = V_I2(&value);
      return S_OK;
    case VT_I4:
      *V_I4REF(&ref) = V_I4(&value);
      return S_OK;
    case VT_R8:
      *V_R8REF(&ref) = V_R8(&value);
      return S_OK;
    case VT_BOOL:
      *V_BOOLREF(&ref) = V_BOOL(&value);
      return S_OK;
    case VT_BSTR:
      SysFreeString(*V_BSTRREF(&ref));
      *V_BSTRREF(&ref) = V_BSTR(&value);
      V_VT(&value) = VT_EMPTY;
      return S_OK;
    case VT_DISPATCH:
      if (*V_DISPATCHREF(&ref) != nullptr) (*V_DISPATCHREF(&ref))->Release();
      *V_DISPATCHREF(&ref) = V_DISPATCH(&value);
      V_VT(&value) = VT_EMPTY;
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace traskel::host::com
