#include "app/implementations.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

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
    .keepWaitingButton = "Weiter warten",
    .silentHint = "(Strg+C bricht ab)",
};

std::chrono::seconds SilenceBeforeTelling() {
  const char* text = std::getenv("QUORVEX_TIMEOUT_S");
  long long seconds = 0;
  if (text != nullptr) {
    const auto [end, error] = std::from_chars(text, text + std::strlen(text), seconds);
    if (error != std::errc() || *end != '\0' || seconds < 1) seconds = 0;
  }
  return std::chrono::seconds(seconds > 0 ? seconds : 15);
}

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
