// Traskel: converts a CAD feature export into commands of the measurement
// program open in the host, in one pass.
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/command_line.h"
#include "app/implementations.h"
#include "app/program.h"
#include "platform/command_line.h"
#include "platform/signals.h"
#include "platform/stop.h"

int main(int argc, char** argv) {
  traskel::LetFailedWritesReturn();
  // From here to the end, an interrupt, a terminate signal, a closed
  // terminal or a quit signal stop the program at its next safe point, as
  // the progress window's button does.
  traskel::StopSource stop;
  const traskel::SignalsAskToStop signals(stop);
  std::setlocale(LC_ALL, "");  // the user's number format
  const traskel::CommandLine command =
      traskel::ReadCommandLine(traskel::ProgramArguments(argc, argv));
  // The version and the usage need no host and no settings, and touch none.
  if (command.action != traskel::CommandLine::Action::Run) {
    return traskel::AnswerCommandLine(command, *traskel::MakeUserInterface(stop));
  }
  traskel::Implementations use = traskel::ChooseImplementations(stop);
  traskel::ProgramParts parts{*use.ui,    stop,        *use.settings,
                              *use.files, use.numbers, traskel::MakeHost};
  parts.silence = traskel::SilenceBeforeTelling();
  const int status = traskel::RunProgram(command, parts);
  // A host call given up on holds a thread for good: the program ends
  // without waiting for it, or ending what it holds.
  if (parts.hostLost) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
