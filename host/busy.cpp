#include "host/busy.h"

#include <algorithm>
#include <array>
#include <optional>
#include <thread>
#include <vector>

namespace traskel::host {

bool IsBusyRefusal(int number) {
  return number == kCallRejected || number == kServerCallRetryLater;
}

namespace {

class Patience {
 public:
  Patience(BusyWait wait, KeepWaiting keepWaiting)
      : wait_(wait), keepWaiting_(std::move(keepWaiting)) {}

  // The result of `attempt`, made again while the host refuses it as busy.
  // The budget runs from the first refusal: the clock is read only then, as
  // under wine a reading costs a good part of a call.
  template <typename F>
  Value Attempt(F&& attempt) const {
    std::optional<std::chrono::steady_clock::time_point> start;
    for (;;) {
      std::optional<Error> refusal;
      try {
        return attempt();
      } catch (const GaveUpOnBusyHost&) {
        throw;  // given up further in already
      } catch (const Error& e) {
        if (!IsBusyRefusal(e.number())) throw;
        refusal = e;
      }
      const auto now = std::chrono::steady_clock::now();
      if (!start) start = now;
      if (now - *start < wait_.budget) {
        std::this_thread::sleep_for(wait_.interval);
        continue;
      }
      if (!keepWaiting_ || !keepWaiting_()) throw GaveUpOnBusyHost(*refusal);
      start = std::chrono::steady_clock::now();
    }
  }

 private:
  BusyWait wait_;
  KeepWaiting keepWaiting_;
};

// A host object seen through the patience: the host's own object inside is
// what calls reach, and what crosses back to the host as an argument.
class PatientObject final : public Object {
 public:
  PatientObject(ObjectPtr inner, std::shared_ptr<const Patience> patience)
      : inner_(std::move(inner)), patience_(std::move(patience)) {}

  static ObjectPtr Wrap(ObjectPtr inner, const std::shared_ptr<const Patience>& patience) {
    if (!inner) return inner;
    return std::make_shared<PatientObject>(std::move(inner), patience);
  }

  Value Get(DispId id) override {
    return Outward(patience_->Attempt([&] { return inner_->Get(id); }));
  }

  void Put(DispId id, const Value& value) override {
    const Value inward = value.type() == Type::Obj ? Inward(value) : Value();
    const Value& sent = value.type() == Type::Obj ? inward : value;
    patience_->Attempt([&] {
      inner_->Put(id, sent);
      return Value();
    });
  }

  Value Call(DispId id, std::span<const Arg> args) override { return Forward(id, args, true); }

  Value CallIgnoringResult(DispId id, std::span<const Arg> args) override {
    return Forward(id, args, false);
  }

 private:
  static Value Inward(const Value& v) {
    if (const auto* patient = dynamic_cast<const PatientObject*>(v.obj().get())) {
      return Obj(patient->inner_);
    }
    return v;
  }

  // What the host gives back: its own objects only, as it only ever gets
  // its own.
  Value Outward(Value v) const {
    if (v.type() != Type::Obj || !v.obj()) return v;
    return Obj(Wrap(v.obj(), patience_));
  }

  Value Forward(DispId id, std::span<const Arg> args, bool resultUsed) {
    const auto send = [&](std::span<const Arg> list) {
      return patience_->Attempt([&] {
        return resultUsed ? inner_->Call(id, list) : inner_->CallIgnoringResult(id, list);
      });
    };
    const auto isObject = [](const Arg& a) { return a.value().type() == Type::Obj; };
    if (std::none_of(args.begin(), args.end(), isObject)) {
      Value result = send(args);
      // A host that stored an object through a reference to another type.
      for (const Arg& a : args) {
        if (a.byRef() && a.target().type() == Type::Obj) a.target() = Outward(a.target());
      }
      return Outward(std::move(result));
    }
    // Objects go to the host as its own; one stored back through a reference
    // comes back seen through the patience, unless it is the one sent. The
    // host's copies live on the stack for the usual few arguments.
    const std::size_t n = args.size();
    constexpr std::size_t kOnStack = 6;
    std::array<Value, kOnStack> stackValues;
    std::array<Arg, kOnStack> stackList = {Value(), Value(), Value(), Value(), Value(), Value()};
    std::vector<Value> heapValues;
    std::vector<Arg> heapList;
    Value* inward = stackValues.data();  // what the host gets for an object
    Arg* list = stackList.data();
    if (n > kOnStack) {
      heapValues.resize(n);
      heapList.assign(n, Value());
      inward = heapValues.data();
      list = heapList.data();
    }
    for (std::size_t i = 0; i < n; ++i) {
      const Arg& a = args[i];
      if (!isObject(a)) {
        list[i] = a.byRef() ? ByRef(a.target()) : Arg(a.value());
        continue;
      }
      inward[i] = Inward(a.value());
      list[i] = a.byRef() ? ByRef(inward[i]) : Arg(inward[i]);
    }
    const Value result = send(std::span<const Arg>(list, n));
    for (std::size_t i = 0; i < n; ++i) {
      const Arg& a = args[i];
      if (!a.byRef()) continue;
      if (isObject(a)) {
        // The caller's variable still holds what was sent.
        const bool same =
            inward[i].type() == Type::Obj && inward[i].obj() == Inward(a.value()).obj();
        if (!same) a.target() = Outward(inward[i]);
      } else if (a.target().type() == Type::Obj) {
        a.target() = Outward(a.target());
      }
    }
    return Outward(result);
  }

  ObjectPtr inner_;
  std::shared_ptr<const Patience> patience_;
};

class WaitingAutomation final : public Automation {
 public:
  WaitingAutomation(Automation& inner, std::shared_ptr<const Patience> patience)
      : inner_(inner), patience_(std::move(patience)) {}

  ObjectPtr CreateObject(const std::string& className) override {
    Value created = patience_->Attempt([&] { return Obj(inner_.CreateObject(className)); });
    return PatientObject::Wrap(created.obj(), patience_);
  }

  void EndOfRun() override { inner_.EndOfRun(); }

 private:
  Automation& inner_;
  std::shared_ptr<const Patience> patience_;
};

}  // namespace

std::unique_ptr<Automation> WaitingOutBusyHost(Automation& inner, BusyWait wait,
                                               KeepWaiting keepWaiting) {
  return std::make_unique<WaitingAutomation>(
      inner, std::make_shared<const Patience>(wait, std::move(keepWaiting)));
}

}  // namespace traskel::host
