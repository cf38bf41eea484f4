#include "app/implementations.h"
#include "host/com_automation.h"

namespace traskel {

std::unique_ptr<host::Automation> MakeHost() {
  return host::MakeComAutomation();
}

}  // namespace traskel
