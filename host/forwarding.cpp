#include "host/forwarding.h"

#include <algorithm>
#include <array>
#include <vector>

namespace traskel::host {

Value ForwardingObject::Get(DispId id) {
  const Operation op{.kind = Operation::Kind::Get, .id = id};
  auto send = [&] { return Outward(inner_->Get(id), op, nullptr); };
  return Carry(op, send);
}

void ForwardingObject::Put(DispId id, const Value& value) {
  const Operation op{.kind = Operation::Kind::Put, .id = id, .value = &value};
  const Value sent = Inward(value);
  auto send = [&] {
    inner_->Put(id, sent);
    return Value();
  };
  Carry(op, send);
}

Value ForwardingObject::Call(DispId id, std::span<const Arg> args) {
  return Forward({.kind = Operation::Kind::Call, .id = id, .args = args});
}

Value ForwardingObject::CallIgnoringResult(DispId id, std::span<const Arg> args) {
  return Forward({.kind = Operation::Kind::CallIgnoringResult, .id = id, .args = args});
}

Value ForwardingObject::Inward(const Value& value) const {
  if (value.type() != Type::Obj) return value;
  const auto* mine = dynamic_cast<const ForwardingObject*>(value.obj().get());
  return mine != nullptr && mine->family_ == family_ ? Obj(mine->inner_) : value;
}

// What the host gives back: its own objects only, as it only ever gets its
// own.
Value ForwardingObject::Outward(Value value, const Operation& op, const Value* replaced) {
  if (value.type() != Type::Obj || !value.obj()) return value;
  return Obj(Wrap(value.obj(), op, replaced));
}

Value ForwardingObject::Forward(const Operation& op) {
  const std::span<const Arg> args = op.args;
  const bool resultUsed = op.kind == Operation::Kind::Call;
  // The host gets its own objects; the caller's other variables go by
  // reference as they are. The host's copies live on the stack for the
  // usual few arguments, as this is the path of every call.
  const std::size_t n = args.size();
  constexpr std::size_t kOnStack = 6;
  std::array<Value, kOnStack> stackValues;
  std::array<Arg, kOnStack> stackList = {Value(), Value(), Value(), Value(), Value(), Value()};
  std::vector<Value> heapValues;
  std::vector<Arg> heapList;
  Value* inward = stackValues.data();
  Arg* list = stackList.data();
  if (n > kOnStack) {
    heapValues.resize(n);
    heapList.assign(n, Value());
    inward = heapValues.data();
    list = heapList.data();
  }
  const auto isObject = [](const Arg& a) { return a.value().type() == Type::Obj; };
  for (std::size_t i = 0; i < n; ++i) {
    const Arg& a = args[i];
    if (!isObject(a)) {
      list[i] = a.byRef() ? ByRef(a.target()) : Arg(a.value());
      continue;
    }
    inward[i] = Inward(a.value());
    list[i] = a.byRef() ? ByRef(inward[i]) : Arg(inward[i]);
  }
  const std::span<const Arg> sent(list, n);
  auto send = [&] {
    return Outward(resultUsed ? inner_->Call(op.id, sent) : inner_->CallIgnoringResult(op.id, sent),
                   op, nullptr);
  };
  Value result = Carry(op, send);
  for (std::size_t i = 0; i < n; ++i) {
    const Arg& a = args[i];
    if (!a.byRef()) continue;
    if (isObject(a)) {
      // The caller's variable still holds what was sent.
      const bool same = inward[i].type() == Type::Obj && inward[i].obj() == Inward(a.value()).obj();
      if (!same) {
        const Value replaced = a.value();
        a.target() = Outward(inward[i], op, &replaced);
      }
    } else if (a.target().type() == Type::Obj) {
      // A host that stored an object through a reference to another type.
      const Value replaced;
      a.target() = Outward(a.target(), op, &replaced);
    }
  }
  return result;
}

ObjectPtr ForwardingAutomation::CreateObject(const std::string& className) {
  const Operation op{.kind = Operation::Kind::Create, .className = className};
  auto send = [&] {
    ObjectPtr created = inner_.CreateObject(className);
    return Obj(created ? Wrap(std::move(created), className) : nullptr);
  };
  return Carry(op, send).obj();
}

}  // namespace traskel::host
