#include "app/call_log_file.h"

#include <string_view>

#include "conversion/host_ids.h"
#include "conversion/run.h"
#include "conversion/titles.h"
#include "host/call_log.h"

namespace traskel {

namespace {

// How every call log begins: its first line is the host's creation.
constexpr std::string_view kLogStart = "create \"";

}  // namespace

bool CallLogFile::Open(const std::string& path, const std::optional<std::string>& exportFile,
                       const std::string& settingsFile, std::string& message) {
  path_ = path;
  std::string reason, start;
  if (!file_.Open(path, LogFile::Mode::Keep, reason)) {
    message = Message(reason);
    return false;
  }
  reason = RunFileReason(exportFile, settingsFile);
  // Decided on the open file, which is the one that Start empties.
  if (reason.empty() && file_.ReadStart(kLogStart.size(), start, reason) && !start.empty() &&
      start != kLogStart) {
    reason = "die Datei gibt es schon, und sie ist kein Traskel-Protokoll";
  }
  if (reason.empty()) return true;
  file_.Discard();
  message = Message(reason);
  return false;
}

bool CallLogFile::Start(const std::string& exportFile, const std::string& settingsFile,
                        std::string& message) {
  std::string reason = RunFileReason(exportFile, settingsFile);
  if (reason.empty() && file_.Resize(0, reason)) {
    started_ = true;
    length_ = 0;
    return true;
  }
  file_.Discard();
  message = Message(reason);
  return false;
}

void CallLogFile::EndWithoutCalls() {
  std::string reason;
  if (file_.isOpen() && !started_) file_.Resize(0, reason);
}

std::string CallLogFile::RunFileReason(const std::optional<std::string>& exportFile,
                                       const std::string& settingsFile) const {
  if (exportFile && file_.IsReachedBy(*exportFile)) {
    return "es ist die Datei, die konvertiert werden soll";
  }
  if (exportFile && file_.IsReachedBy(CopyPathFor(*exportFile))) {
    return "es ist die Kopie der Datei, die konvertiert werden soll";
  }
  if (!settingsFile.empty() && file_.IsReachedBy(settingsFile)) {
    return "es ist die Datei der Einstellungen";
  }
  return "";
}

std::string CallLogFile::Message(const std::string& reason) const {
  return "Das Protokoll " + path_ + " kann nicht angelegt werden: " + reason;
}

std::unique_ptr<host::Automation> CallLogFile::Logging(host::Automation& inner, UserInterface& ui) {
  return host::LoggingCalls(inner, ids::kRoles,
                            [this, &ui](const std::string& line) { Write(line, ui); });
}

void CallLogFile::Write(const std::string& line, UserInterface& ui) {
  if (!started_ || !file_.isOpen()) return;
  // One write a line, so that a run that stops leaves every line it logged.
  buffer_.assign(line);
  buffer_ += '\n';
  std::string reason, ignored;
  if (file_.Append(buffer_, reason)) {
    length_ += buffer_.size();
    return;
  }
  // A line written in part (a full disk, a size limit) goes again, so that
  // the log ends with whole lines.
  file_.Resize(length_, ignored);
  file_.Close();
  ui.ShowMessage("Das Protokoll " + path_ + " kann nicht weitergeschrieben werden: " + reason +
                     "\r\n\r\nDie Konvertierung geht ohne Protokoll weiter.",
                 kMainCaption, Icon::Exclamation);
}

}  // namespace traskel
