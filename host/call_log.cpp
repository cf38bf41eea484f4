#include "host/call_log.h"

#include <cstdio>
#include <vector>

#include "host/busy.h"
#include "host/trace_text.h"

namespace traskel::host {

namespace {

// " -> error " and the error: an HRESULT in hex as the system writes them,
// a run-time error by its number, then its text.
void AppendError(std::string& line, const Error& e) {
  char number[32];
  if (IsComError(e.number())) {
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(e.number()));
  } else {
    std::snprintf(number, sizeof number, "%d", e.number());
  }
  line += " -> error ";
  line += number;
  line += ' ';
  line += e.text();
}

// Shared by the automation and every object it hands out.
struct Log {
  const ObjectRoles& roles;
  LogLine write;

  std::string_view CreatedRole(const std::string& className) const {
    for (const ObjectRoles::Created& c : roles.created) {
      if (c.className == className) return c.role;
    }
    return "Object";
  }
  std::string_view ResultRole(std::string_view from, DispId id) const {
    for (const ObjectRoles::Result& r : roles.results) {
      if (r.from == from && r.id == id) return r.role;
    }
    return "Object";
  }
};

// Runs the operation; a failure ends the line with the error, and a call the
// host refused as busy leaves no line at all.
template <typename Operation>
void Carry(const Log& log, std::string& line, Operation&& operation) {
  try {
    operation();
  } catch (const Error& e) {
    if (!IsBusyRefusal(e.number())) {
      AppendError(line, e);
      log.write(line);
    }
    throw;
  } catch (...) {
    log.write(line);
    throw;
  }
}

class LoggedObject final : public Object {
 public:
  LoggedObject(std::shared_ptr<const Log> log, ObjectPtr inner, std::string_view role)
      : log_(std::move(log)), inner_(std::move(inner)), role_(role) {}

  Value Get(DispId id) override {
    std::string line = Begin("get", id);
    return Finish(line, id, [&] { return inner_->Get(id); });
  }

  void Put(DispId id, const Value& value) override {
    std::string line = Begin("put", id);
    AddValue(line, value, false);
    Carry(*log_, line, [&] { inner_->Put(id, Inner(value)); });
    log_->write(line);
  }

  Value Call(DispId id, std::span<const Arg> args) override {
    return Invoke(id, args,
                  [&](std::span<const Arg> innerArgs) { return inner_->Call(id, innerArgs); });
  }

  Value CallIgnoringResult(DispId id, std::span<const Arg> args) override {
    return Invoke(id, args, [&](std::span<const Arg> innerArgs) {
      return inner_->CallIgnoringResult(id, innerArgs);
    });
  }

  // An object as the log names it.
  static const char* NameOf(const Object* object) {
    if (object == nullptr) return "Nothing";
    const auto* logged = dynamic_cast<const LoggedObject*>(object);
    return logged != nullptr ? logged->role_.c_str() : "Object";
  }

  // What the caller's value is to the object behind the log.
  static Value Inner(const Value& value) {
    if (value.type() != Type::Obj) return value;
    const auto* logged = dynamic_cast<const LoggedObject*>(value.obj().get());
    return logged != nullptr ? Obj(logged->inner_) : value;
  }

 private:
  std::string Begin(const char* kind, DispId id) const {
    std::string line;
    AppendOperation(line, role_, kind, id);
    return line;
  }

  static void AddValue(std::string& line, const Value& value, bool byRef) {
    line += ' ';
    AppendTraceValue(line, value, byRef, NameOf);
  }

  template <typename Operation>
  Value Finish(std::string& line, DispId id, Operation&& operation) {
    Value result;
    Carry(*log_, line, [&] { result = Outer(operation(), log_->ResultRole(role_, id)); });
    AppendResult(line, result, NameOf);
    log_->write(line);
    return result;
  }

  template <typename Operation>
  Value Invoke(DispId id, std::span<const Arg> args, Operation&& operation) {
    std::string line = Begin("call", id);
    // The object behind the log gets its own objects; what it writes back
    // through a by-reference argument reaches the caller the same way.
    std::vector<Value> values;
    values.reserve(args.size());
    for (const Arg& a : args) {
      AddValue(line, a.value(), a.byRef());
      values.push_back(Inner(a.value()));
    }
    std::vector<Arg> innerArgs;
    innerArgs.reserve(args.size());
    for (std::size_t n = 0; n < args.size(); ++n) {
      innerArgs.push_back(args[n].byRef() ? ByRef(values[n]) : Arg(values[n]));
    }
    Value result = Finish(line, id, [&] { return operation(innerArgs); });
    for (std::size_t n = 0; n < args.size(); ++n) {
      if (!args[n].byRef() || values[n] == Inner(args[n].value())) continue;
      const char* role =
          NameOf(args[n].value().type() == Type::Obj ? args[n].value().obj().get() : nullptr);
      args[n].target() = Outer(values[n], role);
    }
    return result;
  }

  Value Outer(const Value& value, std::string_view role) const {
    if (value.type() != Type::Obj || !value.obj()) return value;
    return Obj(std::make_shared<LoggedObject>(log_, value.obj(), role));
  }

  std::shared_ptr<const Log> log_;
  ObjectPtr inner_;
  std::string role_;
};

class LoggingAutomation final : public Automation {
 public:
  LoggingAutomation(Automation& inner, const ObjectRoles& roles, LogLine write)
      : inner_(inner), log_(std::make_shared<const Log>(Log{roles, std::move(write)})) {}

  ObjectPtr CreateObject(const std::string& className) override {
    std::string line;
    AppendCreation(line, className);
    ObjectPtr object;
    Carry(*log_, line, [&] { object = inner_.CreateObject(className); });
    if (object) {
      object =
          std::make_shared<LoggedObject>(log_, std::move(object), log_->CreatedRole(className));
    }
    AppendResult(line, Obj(object), LoggedObject::NameOf);
    log_->write(line);
    return object;
  }

  void EndOfRun() override { inner_.EndOfRun(); }

 private:
  Automation& inner_;
  std::shared_ptr<const Log> log_;
};

}  // namespace

std::unique_ptr<Automation> LoggingCalls(Automation& inner, const ObjectRoles& roles,
                                         LogLine write) {
  return std::make_unique<LoggingAutomation>(inner, roles, std::move(write));
}

}  // namespace traskel::host
