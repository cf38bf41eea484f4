// Opening the connection to the host and fetching the objects the run needs.
#pragma once

#include "conversion/run.h"
#include "host/busy.h"

namespace traskel {

// An established name, known to users, support notes and scripts: it stays.
// True when the application, the point data, the open measurement program
// and its command list are all there. Reports each failure itself.
bool fktStartQuorvex(Run& run);

// Asks the user, in a box, whether to go on waiting for a busy host.
host::KeepWaiting AskWhetherToWaitForHost(UserInterface& ui);

}  // namespace traskel
