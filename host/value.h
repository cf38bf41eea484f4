// Automation values: the six argument types a late-bound host call carries,
// plus Empty for "no result", and the error a call raises, numbered as
// automation numbers them; the layers above raise it too.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>

namespace traskel::host {

class Object;

// Error numbers of automation values and calls; a host may raise numbers of
// its own.
inline constexpr int kOverflow = 6;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kNoSuchMember = 438;
inline constexpr int kWrongArgumentCount = 450;
// A busy host refused the call without carrying it out, so it may be sent
// again (the system's RPC_E_CALL_REJECTED, 0x80010001).
inline constexpr int kCallRejected = -2147418111;
// The same, asked to try again later (RPC_E_SERVERCALL_RETRYLATER, 0x8001010A).
inline constexpr int kServerCallRetryLater = -2147417846;

// The host's process ended or can no longer be reached: the call failed
// (RPC_S_CALL_FAILED, 0x800706BE), the server is gone
// (RPC_S_SERVER_UNAVAILABLE, 0x800706BA), the object was disconnected
// (RPC_E_DISCONNECTED, 0x80010108), or no longer is connected
// (CO_E_OBJNOTCONNECTED, 0x800401FD).
inline bool IsHostGone(int number) {
  return number == -2147023170 || number == -2147023174 || number == -2147417848 ||
         number == -2147220995;
}

// Whether an error number is a system (COM) error code, an HRESULT, rather
// than a run-time error number: those are positive, failed HRESULTs negative.
inline bool IsComError(int number) {
  return number < 0;
}

// A system (COM) error code as the system writes it: "0x80040154".
std::string HresultText(int number);

class Error : public std::runtime_error {
 public:
  Error(int number, std::string text);

  int number() const { return number_; }
  const std::string& text() const { return text_; }

 private:
  int number_;
  std::string text_;
};

Error Overflow();
Error TypeMismatch();
Error ObjectNotSet();
Error NoSuchMember();
Error WrongArgumentCount();
Error CallRejected();

// A shared reference to a host object; empty is the automation "Nothing".
using ObjectPtr = std::shared_ptr<Object>;

enum class Type { Empty, I2, I4, R8, Str, Bool, Obj };

class Value {
 public:
  using Storage = std::variant<std::monostate, std::int16_t, std::int32_t, double, std::string,
                               bool, ObjectPtr>;

  Value() = default;
  explicit Value(Storage s) : storage_(std::move(s)) {}

  Type type() const { return static_cast<Type>(storage_.index()); }
  const Storage& storage() const { return storage_; }

  // Exact accessors: the wrong type is a type mismatch.
  std::int16_t i2() const;
  std::int32_t i4() const;
  double r8() const;
  const std::string& str() const;
  bool boolean() const;
  const ObjectPtr& obj() const;

  friend bool operator==(const Value&, const Value&) = default;

 private:
  Storage storage_;
};

inline Value I2(std::int16_t v) {
  return Value(Value::Storage(std::in_place_index<1>, v));
}
inline Value I4(std::int32_t v) {
  return Value(Value::Storage(std::in_place_index<2>, v));
}
inline Value R8(double v) {
  return Value(Value::Storage(std::in_place_index<3>, v));
}
inline Value Str(std::string v) {
  return Value(Value::Storage(std::in_place_index<4>, std::move(v)));
}
inline Value Bool(bool v) {
  return Value(Value::Storage(std::in_place_index<5>, v));
}
inline Value Obj(ObjectPtr v) {
  return Value(Value::Storage(std::in_place_index<6>, std::move(v)));
}

// The automation coercion of a result to Boolean: numbers are True when not
// zero, "True"/"False" and numeric text convert, anything else is a mismatch.
bool ToBoolean(const Value& v);

// The type's name as traces write it.
const char* TypeName(Type t);

// One argument of a call: by value, or by reference to the caller's variable
// so that the callee may change it.
class Arg {
 public:
  Arg(Value v) : own_(std::move(v)) {}  // NOLINT: by value reads as in a call table
  static Arg ByRef(Value& target) {
    Arg a;
    a.ref_ = &target;
    return a;
  }

  bool byRef() const { return ref_ != nullptr; }
  const Value& value() const { return ref_ ? *ref_ : own_; }
  // Only for by-reference arguments.
  Value& target() const { return *ref_; }

 private:
  Arg() = default;
  Value own_;
  Value* ref_ = nullptr;
};

inline Arg ByRef(Value& target) {
  return Arg::ByRef(target);
}

using DispId = std::int32_t;

// A late-bound automation object: get, put and call by dispatch id.
class Object {
 public:
  virtual ~Object() = default;
  virtual Value Get(DispId id) = 0;
  virtual void Put(DispId id, const Value& value) = 0;
  // A call whose result the caller uses. Late-bound callers send it so that
  // a property of that id answers it as well, as a get.
  virtual Value Call(DispId id, std::span<const Arg> args) = 0;
  // A call whose result the caller drops: only a method answers it, though
  // it may still return a result.
  virtual Value CallIgnoringResult(DispId id, std::span<const Arg> args) { return Call(id, args); }
};

// The caller's view of an object variable: calls on Nothing raise error 91.
class Ref {
 public:
  Ref() = default;
  Ref(ObjectPtr p) : p_(std::move(p)) {}  // NOLINT: an object value is a reference

  explicit operator bool() const { return p_ != nullptr; }
  const ObjectPtr& ptr() const { return p_; }

  Value Get(DispId id) const;
  void Put(DispId id, const Value& value) const;
  // A call whose result is used.
  template <typename... A>
  Value Call(DispId id, A&&... args) const {
    const std::array<Arg, sizeof...(A)> list{Arg(std::forward<A>(args))...};
    return Target().Call(id, list);
  }
  // A call made for its effect alone.
  template <typename... A>
  void CallIgnoringResult(DispId id, A&&... args) const {
    const std::array<Arg, sizeof...(A)> list{Arg(std::forward<A>(args))...};
    Target().CallIgnoringResult(id, list);
  }

 private:
  // The object referred to; Nothing raises error 91.
  Object& Target() const;
  ObjectPtr p_;
};

// Takes a result as an object reference; a result of another type is a type
// mismatch, Nothing stays Nothing.
Ref AsObject(const Value& v);

// Creates automation objects by class name.
class Automation {
 public:
  virtual ~Automation() = default;
  virtual ObjectPtr CreateObject(const std::string& className) = 0;
  // The run is over; a stand-in may report what it holds.
  virtual void EndOfRun() {}
};

}  // namespace traskel::host
