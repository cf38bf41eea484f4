// Waiting out a busy host. While the host shows a dialog, or is busy
// otherwise, it refuses incoming calls without carrying them out, so a
// refused call can safely be sent again; a call that failed any other way
// may have done part of its work and is never repeated.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "host/call_watch.h"
#include "host/value.h"
#include "platform/stop.h"

namespace traskel::host {

// Refused calls are repeated quietly every `interval` until `budget` has
// passed since the first refusal; then the caller is asked. A stop asked for
// meanwhile gives up at once. The watch, when there is one, is told of every
// call and of the waiting.
struct BusyWait {
  std::chrono::milliseconds budget{10'000};
  std::chrono::milliseconds interval{100};
  CallWatch* watch = nullptr;
  const StopSource* stop = nullptr;
};

// Asked when a host has refused a call for a whole budget: true waits another
// budget, false gives up.
using KeepWaiting = std::function<bool()>;

// Whether an error number says the host refused the call as busy.
bool IsBusyRefusal(int number);

// The refusal the caller gave up on: the host's number and text, so that it
// reads as the host's error wherever it ends up; the type tells that the
// user chose to stop.
class GaveUpOnBusyHost : public Error {
 public:
  explicit GaveUpOnBusyHost(const Error& refusal) : Error(refusal) {}
};

// Creates objects through `inner`. Creating them, and every call on them or
// on any object reached through them, is repeated while the host refuses it
// as busy: quietly within the budget, and after it as long as keepWaiting
// says so; then GaveUpOnBusyHost. `inner` must outlive the automation
// returned.
std::unique_ptr<Automation> WaitingOutBusyHost(Automation& inner, BusyWait wait,
                                               KeepWaiting keepWaiting);

}  // namespace traskel::host
