// What the simulated host's objects share: the options, the operation count,
// the trace and the model of the open measurement program.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/trace_text.h"
#include "host/value.h"
#include "platform/log_file.h"
#include "quorvex_sim/model.h"
#include "quorvex_sim/progress.h"
#include "quorvex_sim/sim_host.h"

namespace quorvex_sim {

using traskel::host::AppendCreation;
using traskel::host::AppendOperation;
using traskel::host::AppendResult;
using traskel::host::AppendTraceValue;
using traskel::host::Arg;
using traskel::host::DispId;
using traskel::host::NoSuchMember;
using traskel::host::ObjectPtr;
using traskel::host::WrongArgumentCount;

// The kind in which the host handed an object out; the trace names it.
enum class Role : std::uint8_t {
  Application,
  PointData,
  MeasurementProgram,
  Commands,
  Command,
  FeatureData,
  CommentData,
};

const char* RoleName(Role role);
// An object as the trace names it: its role, "Nothing" or "Foreign".
const char* ObjectText(const traskel::host::Object* object);

traskel::host::Error CannotCreate();
traskel::host::Error SimulatedFailure(std::int64_t operation);
traskel::host::Error SimulatedEnd(std::int64_t operation);
// Waits for ever, for an operation that never returns.
[[noreturn]] void Hang();

class HostState {
 public:
  explicit HostState(Options options);
  ~HostState();
  HostState(const HostState&) = delete;
  HostState& operator=(const HostState&) = delete;

  const Options options;

  // One operation: refused while busy (CallRejected, neither counted nor
  // traced), otherwise counted, then traced as received. Run the body
  // through Complete, which adds the result to the trace line or fails it as
  // told.
  void BeginOperation(Role role, const char* kind, DispId id);
  void BeginCreate(const std::string& className);
  void TraceArgument(const traskel::host::Value& v, bool byRef) {
    if (!tracing_) return;
    line_ += ' ';
    AppendTraceValue(line_, v, byRef, ObjectText);
  }
  bool tracing() const { return tracing_; }
  template <typename Body>
  traskel::host::Value Complete(Body&& body);

  // See SimHost::RefusesIncomingCall.
  bool Refuses();

  // The model.
  void OpenProgram();
  std::int32_t NextPointDataId() { return ++lastPointDataId_; }
  void ShowStatus(const std::string& text);
  void ClearStatus() { progress_.Clear(); }

  bool hasProgram = false;
  ProgramModel program;
  std::size_t current = 0;  // the command CMDS 12 gives: the one added last
  std::string statusText;
  std::int64_t operations = 0;

 private:
  // Refuses or delays an operation that arrives, before it counts.
  void Admit();
  void EmitLine();

  enum class Spell : std::uint8_t { Ahead, Running, Over };
  Spell spell_ = Spell::Ahead;
  std::chrono::steady_clock::time_point spellEnds_{};

  std::unique_ptr<traskel::LogFile> traceFile_;  // none when no trace file is written
  bool tracing_ = false;
  std::string line_;  // the trace line being built, reused to spare allocations
  std::int32_t lastPointDataId_ = 0;
  ProgressLine progress_;
};

// Every object the host hands out. Counts, traces and fails each operation
// the same way, then lets its role do the work.
class SimObject : public traskel::host::Object {
 public:
  SimObject(std::shared_ptr<HostState> host, Role role) : host_(std::move(host)), role_(role) {}

  Role role() const { return role_; }

  traskel::host::Value Get(DispId id) final;
  void Put(DispId id, const traskel::host::Value& value) final;
  // As a server built on a type library answers: a call whose result is
  // used reaches a property of that id too, as its get; a call made for its
  // effect reaches methods only. The trace names what was carried out.
  traskel::host::Value Call(DispId id, std::span<const Arg> args) final;
  traskel::host::Value CallIgnoringResult(DispId id, std::span<const Arg> args) final;

 protected:
  // The role's methods; every other id is a property or unknown.
  virtual bool HasMethod(DispId) const { return false; }
  // Defaults for ids the role doesn't have.
  virtual traskel::host::Value OnGet(DispId id);
  virtual void OnPut(DispId id, const traskel::host::Value& value);
  virtual traskel::host::Value OnCall(DispId id, std::span<const Arg> args);

  HostState& host() const { return *host_; }
  const std::shared_ptr<HostState>& sharedHost() const { return host_; }

 private:
  std::shared_ptr<HostState> host_;
  Role role_;
};

class PointDataObject final : public SimObject {
 public:
  // A new object carries the numbers of state, under its own id.
  PointDataObject(std::shared_ptr<HostState> host, std::int32_t id, const SlotData& state)
      : SimObject(std::move(host), Role::PointData), state_(state) {
    state_.pointDataId = id;
  }

  std::int32_t id() const { return state_.pointDataId; }
  // The numbers it carries from one call to the next, as a slot would store them.
  const SlotData& state() const { return state_; }

 protected:
  bool HasMethod(DispId id) const override { return id == 7 || id == 8; }
  void OnPut(DispId id, const traskel::host::Value& value) override;
  traskel::host::Value OnCall(DispId id, std::span<const Arg> args) override;

 private:
  SlotData state_;
};

ObjectPtr MakeApplication(const std::shared_ptr<HostState>& host);
ObjectPtr MakePointData(const std::shared_ptr<HostState>& host, const SlotData& state);

template <typename Body>
traskel::host::Value HostState::Complete(Body&& body) {
  // Never carried out, so never traced.
  if (operations == options.hangAt) Hang();
  if (operations == options.exitAt) {
    // Gone before the line is traced, in every form alike.
    if (options.endProcess) options.endProcess();
    throw SimulatedEnd(operations);
  }
  if (operations == options.failAt) {
    if (tracing_) EmitLine();
    throw SimulatedFailure(operations);
  }
  traskel::host::Value result;
  try {
    result = body();
  } catch (...) {
    if (tracing_) EmitLine();
    throw;
  }
  if (tracing_) {
    AppendResult(line_, result, ObjectText);
    EmitLine();
  }
  return result;
}

}  // namespace quorvex_sim
