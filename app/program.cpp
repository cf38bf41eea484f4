#include "app/program.h"

#include "app/call_log_file.h"
#include "app/check.h"
#include "app/implementations.h"
#include "conversion/titles.h"

namespace traskel {

ExitStatus RunProgram(const CommandLine& command, ProgramParts& parts) {
  const std::vector<std::string> settingsFiles = parts.settings.ValuesFiles();
  // A log that can't be made ends the program before anything else happens.
  CallLogFile log(parts.files);
  if (command.log) {
    if (const Result<void> opened = log.Open(*command.log, command.file, settingsFiles); !opened) {
      parts.ui.ShowMessage(opened.failure().reason, kMainCaption, Icon::Critical);
      return kNotChosen;
    }
  }
  // The log is emptied for this run only once the export is known and the
  // log is none of the run's files.
  const ExportGate startLog = [&](const std::string& importFile) {
    if (!command.log) return true;
    const Result<void> started = log.Start(importFile, settingsFiles);
    if (!started) parts.ui.ShowMessage(started.failure().reason, kMainCaption, Icon::Critical);
    return started.ok();
  };
  std::unique_ptr<host::Automation> host = parts.makeHost();
  HostWrappers wrapped = WrapHost(*host, command.log ? &log : nullptr, parts.ui, parts.busyWait);
  Platform platform{parts.ui, *wrapped.wait, parts.numbers, parts.files, parts.stop};
  ExitStatus status;
  {
    Run run(platform);
    status = command.checkOnly
                 ? CheckExport(run, parts.settings, command.file, startLog, command.fromLine)
                 : Form1Load(run, parts.settings, command.file, startLog, command.fromLine);
  }
  host->EndOfRun();
  log.End(parts.ui);
  return status;
}

}  // namespace traskel
