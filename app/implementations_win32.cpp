#include "app/implementations.h"
#include "host/com_automation.h"

namespace traskel {

Implementations ChooseImplementations() {
  return {MakeSystemUserInterface(), MakeSystemSettingsStore(), UserNumberFormat()};
}

std::unique_ptr<host::Automation> MakeHost() {
  return host::MakeComAutomation();
}

}  // namespace traskel
