// The automation client of Windows: objects created by class name through
// COM, called late-bound through IDispatch.
#pragma once

#include <memory>

#include "host/value.h"

namespace traskel::host {

std::unique_ptr<Automation> MakeComAutomation();

}  // namespace traskel::host
