#include "app/implementations.h"
#include "host/com_automation.h"

namespace traskel {

Implementations ChooseImplementations() {
  return {MakeSystemUserInterface(), MakeSystemSettingsStore(), host::MakeComAutomation(),
          UserNumberFormat()};
}

}  // namespace traskel
