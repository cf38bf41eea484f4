// Traskel: converts a CAD feature export into commands of the measurement
// program open in the host, in one pass.
#include <clocale>

#include "app/check.h"
#include "app/command_line.h"
#include "app/form1.h"
#include "app/implementations.h"
#include "platform/command_line.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");  // the user's character set and number format
  const traskel::CommandLine command =
      traskel::ReadCommandLine(traskel::ProgramArguments(argc, argv));
  // The version and the usage need no host and no settings, and touch none.
  if (command.action != traskel::CommandLine::Action::Run) {
    return traskel::AnswerCommandLine(command, *traskel::MakeSystemUserInterface());
  }
  traskel::Implementations use = traskel::ChooseImplementations();
  traskel::Platform platform{*use.ui, *use.automation, use.numbers};
  traskel::ExitStatus status;
  {
    traskel::Run run(platform);
    status = command.checkOnly ? traskel::CheckExport(run, *use.settings, command.file)
                               : traskel::Form1Load(run, *use.settings, command.file);
  }
  use.automation->EndOfRun();
  return status;
}
