// The roles of the host's objects: which ids each has, what arguments they
// take, and what they change in the model. Every argument is checked before
// the model changes, so a call that fails leaves no trace in it.
#include "host/value.h"
#include "quorvex_sim/host_state.h"

namespace quorvex_sim {

namespace {

using traskel::host::Bool;
using traskel::host::Obj;
using traskel::host::Type;
using traskel::host::TypeMismatch;
using traskel::host::Value;

void ExpectArgs(std::span<const Arg> args, std::size_t count) {
  if (args.size() != count) throw WrongArgumentCount();
}

void ExpectType(const Value& v, Type t) {
  if (v.type() != t) throw TypeMismatch();
}

double R8At(std::span<const Arg> args, std::size_t n) {
  return args[n].value().r8();
}
std::int32_t I4At(std::span<const Arg> args, std::size_t n) {
  return args[n].value().i4();
}
const std::string& StrAt(std::span<const Arg> args, std::size_t n) {
  return args[n].value().str();
}

// The part of one command an object stands for.
class CommandPart : public SimObject {
 public:
  CommandPart(std::shared_ptr<HostState> host, Role role, std::size_t index)
      : SimObject(std::move(host), role), index_(index) {}

 protected:
  // The command, to be changed.
  Record& command() const { return host().program.Edit(index_); }
  std::size_t index() const { return index_; }

 private:
  std::size_t index_;
};

class FeatureDataObject final : public CommandPart {
 public:
  FeatureDataObject(std::shared_ptr<HostState> host, std::size_t index)
      : CommandPart(std::move(host), Role::FeatureData, index) {}

 protected:
  bool HasMethod(DispId id) const override { return id == 60; }

  void OnPut(DispId id, const Value& value) override {
    switch (id) {
      case 4:
      case 5:
      case 7:
      case 8:
      case 18:
      case 19:
        ExpectType(value, Type::I2);
        break;
      case 6:
      case 48:
        if (value.type() != Type::I2 && value.type() != Type::R8) throw TypeMismatch();
        break;
      case 9:
      case 12:
      case 81:
      case 83:
        ExpectType(value, Type::Bool);
        break;
      default:
        throw NoSuchMember();
    }
    command().SetProperty(PropertyIndex(id), value);
  }

  Value OnCall(DispId id, std::span<const Arg> args) override {
    if (id != 60) throw NoSuchMember();
    ExpectArgs(args, 6);
    const auto* carrier = dynamic_cast<const PointDataObject*>(args[0].value().obj().get());
    if (carrier == nullptr) throw TypeMismatch();
    const std::int32_t slot = I4At(args, 1);
    ExpectType(args[2].value(), Type::I4);
    ExpectType(args[3].value(), Type::I4);
    ExpectType(args[4].value(), Type::Str);
    ExpectType(args[5].value(), Type::I4);

    const SlotData data = carrier->state();
    ObjectPtr fresh;
    if (host().options.handBackNewPointData && args[0].byRef()) {
      fresh = MakePointData(sharedHost(), data);
    }
    command().SetSlot(slot, data);
    // Last: it may drop the caller's only reference to the carrier.
    if (fresh) args[0].target() = Obj(std::move(fresh));
    return Bool(true);
  }
};

class CommentDataObject final : public CommandPart {
 public:
  CommentDataObject(std::shared_ptr<HostState> host, std::size_t index)
      : CommandPart(std::move(host), Role::CommentData, index) {}

 protected:
  bool HasMethod(DispId id) const override { return id == 6; }

  void OnPut(DispId id, const Value& value) override {
    if (id != 1) throw NoSuchMember();
    const std::int32_t kind = value.i4();
    command().Comment().kind = kind;
  }

  Value OnCall(DispId id, std::span<const Arg> args) override {
    if (id != 6) throw NoSuchMember();
    ExpectArgs(args, 2);
    const std::int32_t line = I4At(args, 0);
    const std::string& text = StrAt(args, 1);
    command().Comment().lines.insert_or_assign(line, text);
    return Value();
  }
};

class CommandObject final : public CommandPart {
 public:
  CommandObject(std::shared_ptr<HostState> host, std::size_t index)
      : CommandPart(std::move(host), Role::Command, index) {}

 protected:
  bool HasMethod(DispId id) const override { return id == 28 || id == 93; }

  Value OnGet(DispId id) override {
    // Kept, as a caller may ask for the same part again.
    switch (id) {
      case 9:
        if (!featureData_)
          featureData_ = std::make_shared<FeatureDataObject>(sharedHost(), index());
        return Obj(featureData_);
      case 53:
        if (!commentData_)
          commentData_ = std::make_shared<CommentDataObject>(sharedHost(), index());
        return Obj(commentData_);
      default:
        throw NoSuchMember();
    }
  }

  void OnPut(DispId id, const Value& value) override {
    switch (id) {
      case 0:
        ExpectType(value, Type::Bool);
        command().SetProperty(PropertyIndex(0), value);
        return;
      case 3:
        command().label = value.str();
        return;
      default:
        throw NoSuchMember();
    }
  }

  Value OnCall(DispId id, std::span<const Arg> args) override {
    switch (id) {
      case 28: {
        ExpectArgs(args, 3);
        const std::string& text = StrAt(args, 0);
        const std::int32_t code = I4At(args, 1);
        ExpectType(args[2].value(), Type::I4);
        command().SetText(code, text);
        return Value();
      }
      case 93: {
        ExpectArgs(args, 3);
        const std::int32_t a = I4At(args, 0), b = I4At(args, 1), c = I4At(args, 2);
        command().Comment().format.assign({a, b, c});
        return Value();
      }
      default:
        throw NoSuchMember();
    }
  }

 private:
  ObjectPtr featureData_;
  ObjectPtr commentData_;
};

class CommandsObject final : public SimObject {
 public:
  explicit CommandsObject(std::shared_ptr<HostState> host)
      : SimObject(std::move(host), Role::Commands) {}

 protected:
  bool HasMethod(DispId id) const override { return id == 5 || id == 8; }

  Value OnGet(DispId id) override {
    if (id != 12) throw NoSuchMember();
    return Obj(std::make_shared<CommandObject>(sharedHost(), host().current));
  }

  Value OnCall(DispId id, std::span<const Arg> args) override {
    switch (id) {
      case 5: {
        ExpectArgs(args, 1);
        if (args[0].byRef()) throw TypeMismatch();
        if (dynamic_cast<const SimObject*>(args[0].value().obj().get()) == nullptr) {
          throw TypeMismatch();
        }
        return Bool(true);
      }
      case 8: {
        ExpectArgs(args, 2);
        const std::int32_t type = I4At(args, 0);
        ExpectType(args[1].value(), Type::Bool);
        HostState& h = host();
        auto cmd = std::make_shared<CommandObject>(sharedHost(), h.program.size());
        h.program.Add().typeCode = type;
        h.current = h.program.size() - 1;
        return Obj(std::move(cmd));
      }
      default:
        throw NoSuchMember();
    }
  }
};

class ProgramObject final : public SimObject {
 public:
  explicit ProgramObject(std::shared_ptr<HostState> host)
      : SimObject(std::move(host), Role::MeasurementProgram) {}

 protected:
  Value OnGet(DispId id) override {
    if (id != 11) throw NoSuchMember();
    if (host().options.state == State::NoCommands) return Obj(nullptr);
    return Obj(std::make_shared<CommandsObject>(sharedHost()));
  }
};

class ApplicationObject final : public SimObject {
 public:
  explicit ApplicationObject(std::shared_ptr<HostState> host)
      : SimObject(std::move(host), Role::Application) {}

 protected:
  Value OnGet(DispId id) override {
    if (id != 2) throw NoSuchMember();
    if (!host().hasProgram) return Obj(nullptr);
    return Obj(std::make_shared<ProgramObject>(sharedHost()));
  }

  void OnPut(DispId id, const Value& value) override {
    if (id != 9) throw NoSuchMember();
    host().ShowStatus(value.str());
  }
};

}  // namespace

void PointDataObject::OnPut(DispId id, const Value& value) {
  if (id != 1) throw NoSuchMember();
  state_.value = value.r8();
  state_.kind = SlotData::Kind::Value;
}

Value PointDataObject::OnCall(DispId id, std::span<const Arg> args) {
  if (id != 7 && id != 8) throw NoSuchMember();
  ExpectArgs(args, 3);
  const double a = R8At(args, 0), b = R8At(args, 1), c = R8At(args, 2);
  if (id == 7) {
    state_.x = a, state_.y = b, state_.z = c;
    state_.kind = SlotData::Kind::Position;
  } else {
    state_.i = a, state_.j = b, state_.k = c;
    state_.kind = SlotData::Kind::Vector;
  }
  return Value();
}

ObjectPtr MakeApplication(const std::shared_ptr<HostState>& host) {
  return std::make_shared<ApplicationObject>(host);
}

ObjectPtr MakePointData(const std::shared_ptr<HostState>& host, const SlotData& state) {
  return std::make_shared<PointDataObject>(host, host->NextPointDataId(), state);
}

}  // namespace quorvex_sim
