#include "app/implementations.h"

#include "conversion/connection.h"
#include "conversion/titles.h"

namespace traskel {

Implementations ChooseImplementations(StopSource& stop) {
  auto files = std::make_unique<SystemFileSystem>();
  auto settings = MakeSystemSettingsStore(*files);
  return {std::move(files), MakeUserInterface(stop), std::move(settings), UserNumberFormat()};
}

const UserInterfaceWords kUserInterfaceWords{
    .retryOrCancel = "[W]iederholen/[A]bbrechen: ",
    .yesNoCancel = "[J]a/[N]ein/[A]bbrechen: ",
    .filter = "Filter: ",
    .folder = "Verzeichnis: ",
    .file = "Datei: ",
    .defaultFolder = "(default)",
    .stopButton = "Abbrechen",
    .doneButton = "Schließen",
};

std::unique_ptr<UserInterface> MakeUserInterface(StopSource& stop) {
  return MakeSystemUserInterface(kMainCaption, stop, kUserInterfaceWords);
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
