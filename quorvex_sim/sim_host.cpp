#include "quorvex_sim/sim_host.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "quorvex_sim/host_state.h"
#include "quorvex_sim/listing.h"

namespace quorvex_sim {

namespace {

constexpr std::size_t kListingChunk = 1 << 16;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t n = 0; n < a.size(); ++n) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[n]) != lower(b[n])) return false;
  }
  return true;
}

const char* Environment(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : nullptr;
}

State ParseState(const char* text) {
  const std::string_view s = text;
  if (s == "running") return State::Running;
  if (s == "absent") return State::Absent;
  if (s == "no-program") return State::NoProgram;
  if (s == "no-commands") return State::NoCommands;
  std::fprintf(stderr,
               "quorvex_sim: warning: QUORVEX_SIM_STATE=\"%s\" is not one of running, absent, "
               "no-program, no-commands; using running\n",
               text);
  return State::Running;
}

// A decimal count without sign; false when the text is none or too large.
bool ParseCount(const char* text, std::int64_t& n) {
  n = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || n > (std::numeric_limits<std::int64_t>::max() - 9) / 10) {
      return false;
    }
    n = n * 10 + (*p - '0');
  }
  return true;
}

std::int64_t ParseFailAt(const char* text) {
  std::int64_t n = 0;
  if (ParseCount(text, n)) return n;
  std::fprintf(stderr,
               "quorvex_sim: warning: QUORVEX_SIM_FAIL_AT=\"%s\" is not a decimal operation "
               "number; no operation fails\n",
               text);
  return 0;
}

std::int64_t ParseDelay(const char* text) {
  std::int64_t n = 0;
  if (ParseCount(text, n)) return n;
  std::fprintf(stderr,
               "quorvex_sim: warning: QUORVEX_SIM_DELAY=\"%s\" is not a decimal number of "
               "milliseconds; no operation waits\n",
               text);
  return 0;
}

}  // namespace

Options Options::FromEnvironment() {
  Options o;
  if (const char* state = Environment("QUORVEX_SIM_STATE")) o.state = ParseState(state);
  if (const char* trace = Environment("QUORVEX_SIM_TRACE")) o.tracePath = trace;
  if (const char* failAt = Environment("QUORVEX_SIM_FAIL_AT")) o.failAt = ParseFailAt(failAt);
  if (const char* delay = Environment("QUORVEX_SIM_DELAY")) o.delayMs = ParseDelay(delay);
  return o;
}

struct SimHost::Impl : HostState {
  using HostState::HostState;
};

SimHost::SimHost(Options options) : impl_(std::make_shared<Impl>(std::move(options))) {}

SimHost::~SimHost() = default;

traskel::host::ObjectPtr SimHost::CreateObject(const std::string& className) {
  HostState& h = *impl_;
  h.BeginCreate(className);
  return h
      .Complete([&] {
        // Class names of automation servers don't depend on case.
        if (EqualsIgnoringCase(className, "Quorvex.Application")) {
          if (h.options.state == State::Absent) throw CannotCreate();
          h.OpenProgram();
          return traskel::host::Obj(MakeApplication(impl_));
        }
        if (EqualsIgnoringCase(className, "Quorvex.PointData")) {
          return traskel::host::Obj(MakePointData(impl_, SlotData{}));
        }
        throw CannotCreate();
      })
      .obj();
}

void SimHost::EndOfRun() {
  impl_->ClearStatus();
  if (!impl_->options.printListing || !impl_->hasProgram) return;
  std::string buffer;
  buffer.reserve(kListingChunk + 4096);
  auto drain = [](std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    text.clear();
  };
  WriteListing(impl_->program, buffer, kListingChunk, drain);
  drain(buffer);
  std::fflush(stdout);
}

bool SimHost::hasProgram() const {
  return impl_->hasProgram;
}
// Built on demand from the host's more compact model.
const std::vector<Command>& SimHost::commands() const {
  return impl_->program.Commands();
}
const std::string& SimHost::statusText() const {
  return impl_->statusText;
}
std::int64_t SimHost::operationCount() const {
  return impl_->operations;
}

std::string SimHost::Listing() const {
  if (!impl_->hasProgram) return "Quorvex: no measurement program\n";
  std::string out;
  out.reserve(64 + impl_->program.size() * 96);
  WriteListing(impl_->program, out, std::numeric_limits<std::size_t>::max(), nullptr);
  return out;
}

}  // namespace quorvex_sim
