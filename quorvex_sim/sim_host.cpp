#include "quorvex_sim/sim_host.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

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

std::optional<std::int64_t> ParseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || n > (std::numeric_limits<std::int64_t>::max() - 9) / 10) {
      return std::nullopt;
    }
    n = n * 10 + (c - '0');
  }
  return n;
}

void Warn(const char* name, const char* text, const char* expected) {
  std::fprintf(stderr, "quorvex_sim: warning: %s=\"%s\" is not %s\n", name, text, expected);
}

// An operation number; 0, after a warning that says what follows from it,
// when the text is none.
std::int64_t ParseOperation(const char* name, const char* text, const char* otherwise) {
  if (auto n = ParseDecimal(text)) return *n;
  Warn(name, text, (std::string("a decimal operation number; ") + otherwise).c_str());
  return 0;
}

std::optional<std::chrono::milliseconds> ParseMilliseconds(std::string_view text) {
  const auto n = ParseDecimal(text);
  // Longer than a day is a typing error rather than a wait.
  if (!n || *n > 86'400'000) return std::nullopt;
  return std::chrono::milliseconds(*n);
}

void ParseBusy(const char* text, Options& o) {
  const std::string_view s = text;
  const std::size_t colon = s.find(':');
  if (colon != std::string_view::npos) {
    const auto at = ParseDecimal(s.substr(0, colon));
    const auto spell = ParseMilliseconds(s.substr(colon + 1));
    if (at && spell) {
      o.busyAt = *at;
      o.busyFor = *spell;
      return;
    }
  }
  Warn("QUORVEX_SIM_BUSY", text,
       "N:MS (an operation number and milliseconds); the host is never busy");
}

std::chrono::milliseconds ParseDelay(const char* text) {
  if (auto delay = ParseMilliseconds(text)) return *delay;
  Warn("QUORVEX_SIM_DELAY", text, "a number of milliseconds; operations are not delayed");
  return {};
}

}  // namespace

Options Options::FromEnvironment() {
  Options o;
  if (const char* state = Environment("QUORVEX_SIM_STATE")) o.state = ParseState(state);
  if (const char* trace = Environment("QUORVEX_SIM_TRACE")) o.tracePath = trace;
  if (const char* failAt = Environment("QUORVEX_SIM_FAIL_AT")) {
    o.failAt = ParseOperation("QUORVEX_SIM_FAIL_AT", failAt, "no operation fails");
  }
  if (const char* exitAt = Environment("QUORVEX_SIM_EXIT_AT")) {
    o.exitAt = ParseOperation("QUORVEX_SIM_EXIT_AT", exitAt, "the host does not end");
  }
  if (const char* hangAt = Environment("QUORVEX_SIM_HANG_AT")) {
    o.hangAt = ParseOperation("QUORVEX_SIM_HANG_AT", hangAt, "no operation hangs");
  }
  if (const char* busy = Environment("QUORVEX_SIM_BUSY")) ParseBusy(busy, o);
  if (const char* delay = Environment("QUORVEX_SIM_DELAY")) o.delay = ParseDelay(delay);
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
  // Once a write fails, say to a reader that has gone, the rest is not
  // tried: the listing ends quietly, and the run's status stays its own.
  auto drain = [](std::string& text) {
    if (!std::ferror(stdout)) std::fwrite(text.data(), 1, text.size(), stdout);
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

bool SimHost::RefusesIncomingCall() {
  return impl_->Refuses();
}

std::string SimHost::Listing() const {
  if (!impl_->hasProgram) return "Quorvex: no measurement program\n";
  std::string out;
  out.reserve(64 + impl_->program.size() * 96);
  WriteListing(impl_->program, out, std::numeric_limits<std::size_t>::max(), nullptr);
  return out;
}

}  // namespace quorvex_sim
