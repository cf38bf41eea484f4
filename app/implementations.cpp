#include "app/implementations.h"

#include "conversion/connection.h"
#include "conversion/titles.h"

namespace traskel {

Implementations ChooseImplementations() {
  auto files = std::make_unique<SystemFileSystem>();
  auto settings = MakeSystemSettingsStore(*files);
  return {std::move(files), MakeUserInterface(), std::move(settings), UserNumberFormat()};
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
