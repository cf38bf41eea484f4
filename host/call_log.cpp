#include "host/call_log.h"

#include "host/busy.h"
#include "host/forwarding.h"
#include "host/trace_text.h"

namespace traskel::host {

namespace {

// " -> error " and the error: an HRESULT in hex as the system writes them,
// a run-time error by its number, then its text.
void AppendError(std::string& line, const Error& e) {
  line += " -> error ";
  line += IsComError(e.number()) ? HresultText(e.number()) : std::to_string(e.number());
  line += ' ';
  line += e.text();
}

// Shared by the automation and every object it hands out.
struct Log {
  const ObjectRoles& roles;
  LogLine write;
  PendingOperation* pending;  // may be none

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
Value Carry(const Log& log, std::string& line, SendRef send) {
  // Seen by another thread only once this one is held in the call.
  struct Pending {
    PendingOperation* pending;
    explicit Pending(PendingOperation* p, const std::string& line) : pending(p) {
      if (pending != nullptr) pending->Set(&line);
    }
    ~Pending() {
      if (pending != nullptr) pending->Set(nullptr);
    }
  } under{log.pending, line};
  Value result;
  try {
    result = send();
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
  return result;
}

class LoggedObject final : public ForwardingObject {
 public:
  LoggedObject(std::shared_ptr<const Log> log, ObjectPtr inner, std::string_view role)
      : ForwardingObject(std::move(inner), log.get()), log_(std::move(log)), role_(role) {}

  // An object as the log names it.
  static const char* NameOf(const Object* object) {
    if (object == nullptr) return "Nothing";
    const auto* logged = dynamic_cast<const LoggedObject*>(object);
    return logged != nullptr ? logged->role_.c_str() : "Object";
  }

 private:
  static constexpr const char* kKinds[] = {"create", "get", "put", "call", "call"};

  Value Carry(const Operation& op, SendRef send) override {
    std::string line;
    AppendOperation(line, role_, kKinds[static_cast<int>(op.kind)], op.id);
    if (op.value != nullptr) AddValue(line, *op.value, false);
    for (const Arg& a : op.args) AddValue(line, a.value(), a.byRef());
    Value result = host::Carry(*log_, line, send);
    if (op.kind != Operation::Kind::Put) AppendResult(line, result, NameOf);
    log_->write(line);
    return result;
  }

  // A result takes the role the host's id gives it; an object written back
  // through a reference keeps the role of the one it replaces.
  ObjectPtr Wrap(ObjectPtr inner, const Operation& op, const Value* replaced) override {
    const std::string_view role =
        replaced == nullptr
            ? log_->ResultRole(role_, op.id)
            : NameOf(replaced->type() == Type::Obj ? replaced->obj().get() : nullptr);
    return std::make_shared<LoggedObject>(log_, std::move(inner), role);
  }

  static void AddValue(std::string& line, const Value& value, bool byRef) {
    line += ' ';
    AppendTraceValue(line, value, byRef, NameOf);
  }

  std::shared_ptr<const Log> log_;
  std::string role_;
};

class LoggingAutomation final : public ForwardingAutomation {
 public:
  LoggingAutomation(Automation& inner, const ObjectRoles& roles, LogLine write,
                    PendingOperation* pending)
      : ForwardingAutomation(inner),
        log_(std::make_shared<const Log>(Log{roles, std::move(write), pending})) {}

 private:
  Value Carry(const Operation& op, SendRef send) override {
    std::string line;
    AppendCreation(line, op.className);
    Value created = host::Carry(*log_, line, send);
    AppendResult(line, created, LoggedObject::NameOf);
    log_->write(line);
    return created;
  }

  ObjectPtr Wrap(ObjectPtr created, const std::string& className) override {
    return std::make_shared<LoggedObject>(log_, std::move(created), log_->CreatedRole(className));
  }

  std::shared_ptr<const Log> log_;
};

}  // namespace

std::unique_ptr<Automation> LoggingCalls(Automation& inner, const ObjectRoles& roles, LogLine write,
                                         PendingOperation* pending) {
  return std::make_unique<LoggingAutomation>(inner, roles, std::move(write), pending);
}

}  // namespace traskel::host
