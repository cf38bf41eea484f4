#include "app/call_log_file.h"

#include <string_view>

#include "conversion/conversion.h"
#include "conversion/failure_text.h"
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
                       const std::vector<std::string>& settingsFiles, std::string& message) {
  path_ = path;
  Result<std::unique_ptr<LogFile>> opened = files_.OpenLogFile(path, LogFile::Mode::Keep);
  if (!opened) {
    message = Message(FailureText(opened.failure()));
    return false;
  }
  file_ = std::move(*opened);
  std::string reason = RunFileReason(exportFile, settingsFiles);
  // Decided on the open file, which is the one that Start empties.
  if (reason.empty()) {
    const Result<std::string> start = file_->ReadStart(kLogStart.size());
    if (!start) {
      reason = start.failure().reason;
    } else if (!start->empty() && *start != kLogStart) {
      reason = "die Datei gibt es schon, und sie ist kein Traskel-Protokoll";
    }
  }
  if (reason.empty()) return true;
  Drop();
  message = Message(reason);
  return false;
}

bool CallLogFile::Start(const std::string& exportFile,
                        const std::vector<std::string>& settingsFiles, std::string& message) {
  std::string reason = RunFileReason(exportFile, settingsFiles);
  if (reason.empty()) {
    const Result<void> emptied = file_->Resize(0);
    if (emptied) {
      started_ = true;
      length_ = 0;
      return true;
    }
    reason = emptied.failure().reason;
  }
  Drop();
  message = Message(reason);
  return false;
}

void CallLogFile::End(UserInterface& ui) {
  if (!file_) return;
  // Should emptying fail, the earlier log stays as it was: nothing is lost.
  if (!started_) static_cast<void>(file_->Resize(0));
  const Result<void> closed = file_->Close();
  file_.reset();
  if (closed) return;
  ui.ShowMessage("Das Protokoll " + Shown(path_) + " kann nicht geschlossen werden: " +
                     closed.failure().reason + "\r\n\r\nEs ist womöglich unvollständig.",
                 kMainCaption, Icon::Exclamation);
}

void CallLogFile::Drop() {
  if (!file_) return;
  // A log left behind by a failed deletion holds nothing.
  static_cast<void>(file_->Discard());
  file_.reset();
}

std::string CallLogFile::RunFileReason(const std::optional<std::string>& exportFile,
                                       const std::vector<std::string>& settingsFiles) const {
  if (exportFile && file_->IsReachedBy(*exportFile)) {
    return "es ist die Datei, die konvertiert werden soll";
  }
  if (exportFile && file_->IsReachedBy(CopyPathFor(*exportFile))) {
    return "es ist die Kopie der Datei, die konvertiert werden soll";
  }
  for (const std::string& settingsFile : settingsFiles) {
    if (file_->IsReachedBy(settingsFile)) return "es ist die Datei der Einstellungen";
  }
  return "";
}

std::string CallLogFile::Message(const std::string& reason) const {
  return "Das Protokoll " + Shown(path_) + " kann nicht angelegt werden: " + reason;
}

std::unique_ptr<host::Automation> CallLogFile::Logging(host::Automation& inner, UserInterface& ui) {
  return host::LoggingCalls(inner, ids::kRoles,
                            [this, &ui](const std::string& line) { Write(line, ui); });
}

void CallLogFile::Write(const std::string& line, UserInterface& ui) {
  if (!started_ || !file_) return;
  // One write a line, so that a run that stops leaves every line it logged.
  buffer_.assign(line);
  buffer_ += '\n';
  const Result<void> appended = file_->Append(buffer_);
  if (appended) {
    length_ += buffer_.size();
    return;
  }
  // A line written in part (a full disk, a size limit) goes again, so that
  // the log ends with whole lines. What fails now, the message below tells
  // of all the same: the log is incomplete.
  static_cast<void>(file_->Resize(length_));
  static_cast<void>(file_->Close());
  file_.reset();
  ui.ShowMessage("Das Protokoll " + Shown(path_) +
                     " kann nicht weitergeschrieben werden: " + appended.failure().reason +
                     "\r\n\r\nDie Konvertierung geht ohne Protokoll weiter.",
                 kMainCaption, Icon::Exclamation);
}

}  // namespace traskel
