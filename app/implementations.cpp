#include "app/implementations.h"

#include "conversion/connection.h"
#include "conversion/titles.h"

namespace traskel {

Implementations ChooseImplementations() {
  return {std::make_unique<SystemFileSystem>(), MakeUserInterface(), MakeSystemSettingsStore(),
          UserNumberFormat()};
}

std::unique_ptr<UserInterface> MakeUserInterface() {
  return MakeSystemUserInterface(kMainCaption);
}

HostWrappers WrapHost(host::Automation& own, CallLogFile* log, UserInterface& ui,
                      host::BusyWait wait) {
  HostWrappers wrappers;
  if (log != nullptr) wrappers.log = log->Logging(own, ui);
  wrappers.wait = host::WaitingOutBusyHost(wrappers.log ? *wrappers.log : own, wait,
                                           AskWhetherToWaitForHost(ui));
  return wrappers;
}

}  // namespace traskel
