// The automation client of Windows: objects created by class name through
// COM, called late-bound through IDispatch.
#pragma once

#include <memory>

#include "host/busy.h"
#include "host/value.h"

namespace traskel::host {

// While it lives, the thread is in a single-threaded apartment with a message
// filter that lets COM send a call the host asks to have sent later again,
// once, after wait.interval; the caller's own wait (WaitingOutBusyHost) with
// the same `wait` does the rest within its budget.
std::unique_ptr<Automation> MakeComAutomation(BusyWait wait = {});

}  // namespace traskel::host
