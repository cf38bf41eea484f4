// COM plumbing shared by the automation client and the simulated host's
// server: owned BSTRs and VARIANTs, error numbers of
// HRESULTs, and automation values as VARIANTs.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "host/value.h"
#include "platform/com_win32.h"

namespace traskel::host::com {

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8);  // std::bad_alloc when out of memory
  ~Bstr() { SysFreeString(b_); }
  Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    std::swap(b_, other.b_);
    return *this;
  }

  BSTR get() const { return b_; }
  // Hands the string over; the receiver frees it.
  BSTR release() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
};

// A null BSTR is the empty string.
std::string Utf8(BSTR b);

// A VARIANT that clears itself.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  VARIANT& get() { return v_; }
  const VARIANT& get() const { return v_; }

 private:
  VARIANT v_;
};

// The error number a caller sees for an HRESULT: automation servers raise a
// numbered error as a control-facility HRESULT carrying the number; any
// other HRESULT is its own number.
int ErrorNumber(HRESULT hr);
// The system's text for an HRESULT, or a short English one.
std::string SystemText(HRESULT hr);
Error ErrorFromHresult(HRESULT hr);
// What an automation server's exception says: its number and description.
Error ErrorFromException(EXCEPINFO& info);

// How objects cross: ToDispatch gives an added reference (nullptr for
// Nothing); FromDispatch gets a borrowed, non-null pointer.
using ToDispatch = std::function<IDispatch*(const ObjectPtr&)>;
using FromDispatch = std::function<ObjectPtr(IDispatch*)>;

// Fills an empty VARIANT with the value's automation type.
void ToVariant(const Value& value, VARIANT& out, const ToDispatch& toDispatch);
// The value of a VARIANT, read through a reference. The six types map as
// they are; other numbers are coerced to I2, I4 or R8, anything else is a
// type mismatch.
Value FromVariant(const VARIANT& v, const FromDispatch& fromDispatch);

// Makes ref a by-reference argument to what storage holds (VT_BYREF of its
// type, or of VT_VARIANT when it is empty). storage keeps ownership.
void PointAt(VARIANT& storage, VARIANT& ref);
// Stores a new value through a by-reference argument, freeing what it held;
// a typed reference takes the value coerced to its type. DISP_E_TYPEMISMATCH
// when that is not possible.
HRESULT StoreThrough(const VARIANT& ref, VARIANT& value);

}  // namespace traskel::host::com
