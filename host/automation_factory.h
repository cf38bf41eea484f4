// The platform's automation: the COM client on Windows, the embedded
// simulated host elsewhere.
#pragma once

#include <memory>

#include "host/value.h"

namespace traskel::host {

std::unique_ptr<Automation> MakeAutomation();

}  // namespace traskel::host
