#include "quorvex_sim/host_state.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/file_system.h"

namespace quorvex_sim {

using traskel::host::Error;
using traskel::host::Value;

const char* RoleName(Role role) {
  switch (role) {
    case Role::Application:
      return "Application";
    case Role::PointData:
      return "PointData";
    case Role::MeasurementProgram:
      return "MeasurementProgram";
    case Role::Commands:
      return "CMDS";
    case Role::Command:
      return "Cmd";
    case Role::FeatureData:
      return "FeatureData";
    case Role::CommentData:
      return "CommentData";
  }
  return "?";
}

const char* ObjectText(const traskel::host::Object* object) {
  if (object == nullptr) return "Nothing";
  if (const auto* own = dynamic_cast<const SimObject*>(object)) return RoleName(own->role());
  return "Foreign";
}

Error CannotCreate() {
  return Error(429, "ActiveX component can't create object");
}

Error SimulatedFailure(std::int64_t operation) {
  return Error(440, "Quorvex: simulated failure of operation " + std::to_string(operation));
}

Error SimulatedEnd(std::int64_t operation) {
  return Error(440, "Quorvex: simulated host ended at operation " + std::to_string(operation));
}

void Hang() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

HostState::HostState(Options o) : options(std::move(o)), progress_(options.showProgress) {
  if (!options.tracePath.empty()) {
    // The trace is the host's own, no file of the run: opened directly.
    auto opened =
        traskel::SystemFileSystem().OpenLogFile(options.tracePath, traskel::LogFile::Mode::Append);
    if (opened) {
      traceFile_ = std::move(*opened);
    } else {
      std::fprintf(stderr,
                   "quorvex_sim: warning: cannot open trace file \"%s\": %s; no trace is "
                   "written\n",
                   options.tracePath.c_str(), opened.failure().reason.c_str());
    }
  }
  tracing_ = traceFile_ != nullptr || options.traceSink != nullptr;
}

HostState::~HostState() = default;

// Asked before every operation: the clock is read only during a spell, as
// under wine a reading costs a good part of an operation.
bool HostState::Refuses() {
  switch (spell_) {
    case Spell::Ahead:
      if (options.busyAt == 0 || operations + 1 != options.busyAt) return false;
      spell_ = Spell::Running;
      spellEnds_ = std::chrono::steady_clock::now() + options.busyFor;
      return true;
    case Spell::Running:
      if (std::chrono::steady_clock::now() < spellEnds_) return true;
      spell_ = Spell::Over;
      return false;
    case Spell::Over:
      return false;
  }
  return false;
}

void HostState::Admit() {
  if (Refuses()) throw traskel::host::CallRejected();
  if (options.delay.count() > 0) std::this_thread::sleep_for(options.delay);
}

void HostState::BeginOperation(Role role, const char* kind, DispId id) {
  Admit();
  ++operations;
  if (!tracing_) return;
  line_.clear();
  AppendOperation(line_, RoleName(role), kind, id);
}

void HostState::BeginCreate(const std::string& className) {
  Admit();
  ++operations;
  if (!tracing_) return;
  line_.clear();
  AppendCreation(line_, className);
}

void HostState::EmitLine() {
  if (options.traceSink) options.traceSink(line_);
  if (!traceFile_) return;
  line_ += '\n';
  if (const traskel::Result<void> appended = traceFile_->Append(line_); !appended) {
    std::fprintf(stderr,
                 "quorvex_sim: warning: cannot write trace file \"%s\": %s; trace stops here\n",
                 options.tracePath.c_str(), appended.failure().reason.c_str());
    traceFile_.reset();
    tracing_ = options.traceSink != nullptr;
  }
  line_.pop_back();
}

void HostState::OpenProgram() {
  if (hasProgram || options.state == State::NoProgram) return;
  hasProgram = true;
  Record& start = program.Add();
  start.typeCode = 1;
  start.label = "START";
  current = 0;
}

void HostState::ShowStatus(const std::string& text) {
  statusText = text;
  progress_.Show(statusText);
}

Value SimObject::Get(DispId id) {
  HostState& h = *host_;
  h.BeginOperation(role_, "get", id);
  return h.Complete([&] { return OnGet(id); });
}

void SimObject::Put(DispId id, const Value& value) {
  HostState& h = *host_;
  h.BeginOperation(role_, "put", id);
  h.TraceArgument(value, false);
  h.Complete([&] {
    OnPut(id, value);
    return Value();
  });
}

Value SimObject::Call(DispId id, std::span<const Arg> args) {
  if (args.empty() && !HasMethod(id)) return Get(id);
  return CallIgnoringResult(id, args);
}

Value SimObject::CallIgnoringResult(DispId id, std::span<const Arg> args) {
  HostState& h = *host_;
  h.BeginOperation(role_, "call", id);
  if (h.tracing()) {
    for (const Arg& a : args) h.TraceArgument(a.value(), a.byRef());
  }
  return h.Complete([&] { return OnCall(id, args); });
}

Value SimObject::OnGet(DispId) {
  throw NoSuchMember();
}
void SimObject::OnPut(DispId, const Value&) {
  throw NoSuchMember();
}
Value SimObject::OnCall(DispId, std::span<const Arg>) {
  throw NoSuchMember();
}

}  // namespace quorvex_sim
