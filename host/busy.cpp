#include "host/busy.h"

#include <algorithm>
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
  template <typename F>
  Value Attempt(F&& attempt) const {
    auto start = std::chrono::steady_clock::now();
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
      if (std::chrono::steady_clock::now() - start < wait_.budget) {
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

  Value Outward(Value v) const {
    if (v.type() != Type::Obj || !v.obj() || dynamic_cast<const PatientObject*>(v.obj().get())) {
      return v;
    }
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
    // comes back seen through the patience, unless it is the one sent.
    std::vector<Value> sent(args.size());
    std::vector<Arg> list;
    list.reserve(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
      const Arg& a = args[i];
      if (!isObject(a)) {
        list.push_back(a.byRef() ? ByRef(a.target()) : Arg(a.value()));
        continue;
      }
      sent[i] = Inward(a.value());
      list.push_back(a.byRef() ? ByRef(sent[i]) : Arg(sent[i]));
    }
    const Value result = send(list);
    for (std::size_t i = 0; i < args.size(); ++i) {
      const Arg& a = args[i];
      if (!a.byRef()) continue;
      if (isObject(a)) {
        const bool same = sent[i].type() == Type::Obj && sent[i].obj() == Inward(a.value()).obj();
        if (!same) a.target() = Outward(sent[i]);
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
