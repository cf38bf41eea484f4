// The shape every wrapper around a host shares: an automation and objects
// that stand in front of the host's own and hand each operation on to them.
// Objects going out to the caller are wrapped, objects coming in from it are
// unwrapped, and what the host writes back through a by-reference argument
// reaches the caller's variable the same way. A wrapper only says how an
// operation is carried out (Carry) and how an object handed out is seen
// (Wrap).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "host/value.h"

namespace traskel::host {

// One operation as the caller asked for it.
struct Operation {
  enum class Kind { Create, Get, Put, Call, CallIgnoringResult };
  Kind kind;
  DispId id = 0;
  std::string_view className{};  // Create
  const Value* value = nullptr;  // Put: the value the caller put
  std::span<const Arg> args{};   // Call: the caller's arguments
};

// A callable to hand on without copying it or allocating: it must outlive
// the reference, as an argument does the call it is passed to.
class SendRef {
 public:
  template <typename F>
  requires(!std::is_same_v<std::remove_cvref_t<F>, SendRef>)
      SendRef(F& f)  // NOLINT: made where it is passed
      : target_(&f), call_([](void* t) { return (*static_cast<F*>(t))(); }) {}
  Value operator()() const { return call_(target_); }

 private:
  void* target_;
  Value (*call_)(void*);
};

class ForwardingObject : public Object {
 public:
  Value Get(DispId id) final;
  void Put(DispId id, const Value& value) final;
  Value Call(DispId id, std::span<const Arg> args) final;
  Value CallIgnoringResult(DispId id, std::span<const Arg> args) final;

 protected:
  // family: shared by the objects of one wrapper, so that only its own are
  // unwrapped on the way in.
  ForwardingObject(ObjectPtr inner, const void* family)
      : inner_(std::move(inner)), family_(family) {}

  // Carries out op: send reaches the object behind, once per call of it,
  // and gives its result as the caller is to see it.
  virtual Value Carry(const Operation& op, SendRef send) = 0;
  // How the caller sees an object the host handed out: the result of op,
  // or, when replaced is set, written back over the caller's value replaced.
  virtual ObjectPtr Wrap(ObjectPtr inner, const Operation& op, const Value* replaced) = 0;

 private:
  // Puts value, which the host gets as sent.
  void PutAs(DispId id, const Value& value, const Value& sent);
  Value Inward(const Value& value) const;
  // Turns what the host gave into what the caller sees.
  void Outward(Value& value, const Operation& op, const Value* replaced);
  Value Forward(const Operation& op);
  Value ForwardObjects(const Operation& op);
  // Carries out the call op with the arguments the host gets.
  Value Send(const Operation& op, std::span<const Arg> sent);

  ObjectPtr inner_;
  const void* family_;
};

class ForwardingAutomation : public Automation {
 public:
  ObjectPtr CreateObject(const std::string& className) final;
  void EndOfRun() override { inner_.EndOfRun(); }

 protected:
  // inner must outlive this automation and its objects.
  explicit ForwardingAutomation(Automation& inner) : inner_(inner) {}

  virtual Value Carry(const Operation& op, SendRef send) = 0;
  virtual ObjectPtr Wrap(ObjectPtr created, const std::string& className) = 0;

 private:
  Automation& inner_;
};

}  // namespace traskel::host
