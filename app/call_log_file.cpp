#include "app/call_log_file.h"

#include "conversion/host_ids.h"
#include "host/call_log.h"
#include "platform/file_system.h"

namespace traskel {

bool CallLogFile::Create(const std::string& path, const std::optional<std::string>& exportFile,
                         std::string& message) {
  path_ = path;
  std::string reason;
  if (exportFile && SameFile(path, *exportFile)) {
    reason = "es ist die Datei, die konvertiert werden soll";
  } else if (file_.Open(path, LogFile::Mode::Replace, reason)) {
    return true;
  }
  message = "Das Protokoll " + path + " kann nicht angelegt werden: " + reason;
  return false;
}

std::unique_ptr<host::Automation> CallLogFile::Logging(host::Automation& inner, UserInterface& ui) {
  return host::LoggingCalls(inner, ids::kRoles,
                            [this, &ui](const std::string& line) { Write(line, ui); });
}

void CallLogFile::Write(const std::string& line, UserInterface& ui) {
  if (!file_.isOpen()) return;
  // One write a line, so that a run that stops leaves every line it logged.
  buffer_.assign(line);
  buffer_ += '\n';
  std::string reason;
  if (file_.Append(buffer_, reason)) return;
  file_.Close();
  ui.ShowMessage("Das Protokoll " + path_ + " kann nicht weitergeschrieben werden: " + reason +
                     "\r\n\r\nDie Konvertierung geht ohne Protokoll weiter.",
                 kMainCaption, Icon::Exclamation);
}

}  // namespace traskel
