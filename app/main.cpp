// Traskel: converts a CAD feature export into commands of the measurement
// program open in the host, in one pass.
#include <clocale>

#include "app/call_log_file.h"
#include "app/check.h"
#include "app/command_line.h"
#include "app/form1.h"
#include "app/implementations.h"
#include "conversion/titles.h"
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
  const std::string settingsFile = use.settings->ValuesFile();
  // A log that can't be made ends the program before anything else happens.
  traskel::CallLogFile log(*use.files);
  if (std::string message;
      command.log && !log.Open(*command.log, command.file, settingsFile, message)) {
    use.ui->ShowMessage(message, traskel::kMainCaption, traskel::Icon::Critical);
    return traskel::kNotChosen;
  }
  // The log is emptied for this run only once the export is known and the
  // log is none of the run's files.
  const traskel::ExportGate startLog = [&](const std::string& importFile) {
    std::string message;
    if (!command.log || log.Start(importFile, settingsFile, message)) return true;
    use.ui->ShowMessage(message, traskel::kMainCaption, traskel::Icon::Critical);
    return false;
  };
  std::unique_ptr<traskel::host::Automation> host = traskel::MakeHost();
  traskel::HostWrappers wrapped = traskel::WrapHost(*host, command.log ? &log : nullptr, *use.ui);
  traskel::Platform platform{*use.ui, *wrapped.wait, use.numbers, *use.files};
  traskel::ExitStatus status;
  {
    traskel::Run run(platform);
    status = command.checkOnly ? traskel::CheckExport(run, *use.settings, command.file, startLog)
                               : traskel::Form1Load(run, *use.settings, command.file, startLog);
  }
  host->EndOfRun();
  log.EndWithoutCalls();
  return status;
}
