// Traskel: converts a CAD feature export into commands of the measurement
// program open in the host, in one pass.
#include <clocale>

#include "app/command_line.h"
#include "app/implementations.h"
#include "app/program.h"
#include "platform/command_line.h"
#include "platform/signals.h"

int main(int argc, char** argv) {
  traskel::LetFailedWritesReturn();
  std::setlocale(LC_ALL, "");  // the user's number format
  const traskel::CommandLine command =
      traskel::ReadCommandLine(traskel::ProgramArguments(argc, argv));
  // The version and the usage need no host and no settings, and touch none.
  if (command.action != traskel::CommandLine::Action::Run) {
    return traskel::AnswerCommandLine(command, *traskel::MakeUserInterface());
  }
  traskel::Implementations use = traskel::ChooseImplementations();
  traskel::ProgramParts parts{*use.ui, *use.settings, *use.files, use.numbers, traskel::MakeHost};
  return traskel::RunProgram(command, parts);
}
