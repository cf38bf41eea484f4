// A host that carries out nothing, for reading records as their conversion
// reads them without sending anything anywhere: the check, and the trial of
// a record with a decimal comma.
#pragma once

#include <memory>
#include <span>

#include "conversion/run.h"
#include "host/value.h"

namespace traskel {

// What the conversion takes from a get is an object, and from a call it does
// not add a command with, a Boolean.
class IdleObject : public host::Object, public std::enable_shared_from_this<IdleObject> {
 public:
  host::Value Get(host::DispId) override { return host::Obj(shared_from_this()); }
  void Put(host::DispId, const host::Value&) override {}
  host::Value Call(host::DispId, std::span<const host::Arg>) override { return host::Bool(true); }
};

// The command list: a call on it adds a command.
class IdleCommandList final : public IdleObject {
 public:
  host::Value Call(host::DispId, std::span<const host::Arg>) override {
    return host::Obj(command_);
  }

 private:
  host::ObjectPtr command_ = std::make_shared<IdleObject>();
};

// The run's host objects, idle ones.
inline void ConnectIdle(Run& run) {
  run.Application = host::ObjectPtr(std::make_shared<IdleObject>());
  run.PointData = host::ObjectPtr(std::make_shared<IdleObject>());
  run.CMDS = host::ObjectPtr(std::make_shared<IdleCommandList>());
}

}  // namespace traskel
