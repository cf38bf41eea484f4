#include "host/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace traskel::host {

std::string HresultText(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(number));
  return text;
}

Error::Error(int number, std::string text)
    : std::runtime_error(text), number_(number), text_(std::move(text)) {}

Error Overflow() {
  return Error(kOverflow, "Overflow");
}
Error TypeMismatch() {
  return Error(kTypeMismatch, "Type mismatch");
}
Error ObjectNotSet() {
  return Error(kObjectNotSet, "Object variable or With block variable not set");
}
Error NoSuchMember() {
  return Error(kNoSuchMember, "Object doesn't support this property or method");
}
Error WrongArgumentCount() {
  return Error(kWrongArgumentCount, "Wrong number of arguments or invalid property assignment");
}
Error CallRejected() {
  return Error(kCallRejected, "Call was rejected by callee.");
}

namespace {
template <typename T>
const T& Exact(const Value::Storage& s) {
  if (const T* v = std::get_if<T>(&s)) return *v;
  throw TypeMismatch();
}
}  // namespace

std::int16_t Value::i2() const {
  return Exact<std::int16_t>(storage_);
}
std::int32_t Value::i4() const {
  return Exact<std::int32_t>(storage_);
}
double Value::r8() const {
  return Exact<double>(storage_);
}
const std::string& Value::str() const {
  return Exact<std::string>(storage_);
}
bool Value::boolean() const {
  return Exact<bool>(storage_);
}
const ObjectPtr& Value::obj() const {
  return Exact<ObjectPtr>(storage_);
}

bool ToBoolean(const Value& v) {
  switch (v.type()) {
    case Type::Bool:
      return v.boolean();
    case Type::I2:
      return v.i2() != 0;
    case Type::I4:
      return v.i4() != 0;
    case Type::R8:
      if (std::isnan(v.r8())) throw TypeMismatch();
      return v.r8() != 0.0;
    case Type::Str: {
      const std::string& s = v.str();
      if (s == "True" || s == "true" || s == "TRUE") return true;
      if (s == "False" || s == "false" || s == "FALSE") return false;
      double d = 0;
      auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
      if (ec != std::errc() || end != s.data() + s.size() || s.empty()) throw TypeMismatch();
      return d != 0.0;
    }
    case Type::Empty:
      return false;
    case Type::Obj:
      break;
  }
  throw TypeMismatch();
}

const char* TypeName(Type t) {
  switch (t) {
    case Type::Empty:
      return "Empty";
    case Type::I2:
      return "I2";
    case Type::I4:
      return "I4";
    case Type::R8:
      return "R8";
    case Type::Str:
      return "Str";
    case Type::Bool:
      return "Bool";
    case Type::Obj:
      return "Obj";
  }
  return "?";
}

Value Ref::Get(DispId id) const {
  return Target().Get(id);
}

void Ref::Put(DispId id, const Value& value) const {
  Target().Put(id, value);
}

Object& Ref::Target() const {
  if (!p_) throw ObjectNotSet();
  return *p_;
}

Ref AsObject(const Value& v) {
  return Ref(v.obj());
}

}  // namespace traskel::host
