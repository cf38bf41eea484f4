// Traskel: converts a CAD feature export into commands of the measurement
// program open in the host, in one pass.
#include <clocale>

#include "app/form1.h"
#include "app/settings.h"
#include "app/user_interface.h"
#include "conversion/numbers.h"
#include "host/automation_factory.h"

int main() {
  std::setlocale(LC_ALL, "");  // the user's character set and number format
  auto ui = traskel::MakeUserInterface();
  auto settings = traskel::MakeSettingsStore();
  auto automation = traskel::host::MakeAutomation();
  traskel::Platform platform{*ui, *settings, *automation, traskel::UserNumberFormat()};
  traskel::ExitStatus status;
  {
    traskel::Run run(platform);
    status = traskel::Form1Load(run);
  }
  automation->EndOfRun();
  return status;
}
