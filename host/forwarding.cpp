#include "host/forwarding.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory_resource>
#include <typeinfo>
#include <vector>

namespace traskel::host {

Value ForwardingObject::Get(DispId id) {
  const Operation op{.kind = Operation::Kind::Get, .id = id};
  auto send = [&] {
    Value result = inner_->Get(id);
    Outward(result, op, nullptr);
    return result;
  };
  return Carry(op, send);
}

void ForwardingObject::Put(DispId id, const Value& value) {
  // Only an object goes to the host as another value, its own; any other
  // value goes as the caller's.
  if (value.type() == Type::Obj) return PutAs(id, value, Inward(value));
  PutAs(id, value, value);
}

void ForwardingObject::PutAs(DispId id, const Value& value, const Value& sent) {
  const Operation op{.kind = Operation::Kind::Put, .id = id, .value = &value};
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
  if (value.type() != Type::Obj || !value.obj()) return value;
  // Objects of one family are all of one class, this one's: telling them by
  // their class is cheaper than a cast that searches the class tree.
  const Object& object = *value.obj();
  if (typeid(object) != typeid(*this)) return value;
  const auto& mine = static_cast<const ForwardingObject&>(object);
  return mine.family_ == family_ ? Obj(mine.inner_) : value;
}

// What the host gives back: its own objects only, as it only ever gets its
// own.
void ForwardingObject::Outward(Value& value, const Operation& op, const Value* replaced) {
  if (value.type() == Type::Obj && value.obj()) value = Obj(Wrap(value.obj(), op, replaced));
}

namespace {
bool IsObject(const Arg& a) {
  return a.value().type() == Type::Obj;
}
}  // namespace

Value ForwardingObject::Forward(const Operation& op) {
  const std::span<const Arg> args = op.args;
  if (std::ranges::any_of(args, IsObject)) return ForwardObjects(op);
  // Nearly every call: without objects, the host gets the caller's
  // arguments themselves.
  Value result = Send(op, args);
  for (const Arg& a : args) {
    if (a.byRef() && a.target().type() == Type::Obj) {
      // A host that stored an object through a reference to another type.
      const Value replaced;
      Outward(a.target(), op, &replaced);
    }
  }
  return result;
}

Value ForwardingObject::ForwardObjects(const Operation& op) {
  const std::span<const Arg> args = op.args;
  // The host gets its own objects, by reference where the caller's went so;
  // every other argument goes as the caller gave it. The copies live on the
  // stack for the usual few arguments.
  std::array<std::byte, 1024> space;
  std::pmr::monotonic_buffer_resource onStack(space.data(), space.size());
  std::pmr::vector<Value> inward(args.size(), &onStack);
  std::pmr::vector<Arg> sent(args.begin(), args.end(), &onStack);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Arg& a = args[i];
    if (!IsObject(a)) continue;
    inward[i] = Inward(a.value());
    sent[i] = a.byRef() ? ByRef(inward[i]) : Arg(inward[i]);
  }
  Value result = Send(op, sent);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Arg& a = args[i];
    if (!a.byRef()) continue;
    if (IsObject(a)) {
      // The caller's variable still holds what was sent.
      const bool same = inward[i].type() == Type::Obj && inward[i].obj() == Inward(a.value()).obj();
      if (!same) {
        const Value replaced = a.value();
        Outward(inward[i], op, &replaced);
        a.target() = std::move(inward[i]);
      }
    } else if (a.target().type() == Type::Obj) {
      // A host that stored an object through a reference to another type.
      const Value replaced;
      Outward(a.target(), op, &replaced);
    }
  }
  return result;
}

Value ForwardingObject::Send(const Operation& op, std::span<const Arg> sent) {
  const bool resultUsed = op.kind == Operation::Kind::Call;
  auto send = [&] {
    Value result = resultUsed ? inner_->Call(op.id, sent) : inner_->CallIgnoringResult(op.id, sent);
    Outward(result, op, nullptr);
    return result;
  };
  return Carry(op, send);
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
