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

// A finding of the log's own, in the words of its message.
Failure Finding(const std::string& reason) {
  Failure finding;
  finding.reason = reason;
  return finding;
}

}  // namespace

Result<void> CallLogFile::Open(const std::string& path,
                               const std::optional<std::string>& exportFile,
                               const std::vector<std::string>& settingsFiles) {
  path_ = path;
  Result<std::unique_ptr<LogFile>> opened = files_.OpenLogFile(path, LogFile::Mode::Keep);
  if (!opened) return Refused(opened.failure());
  file_ = std::move(*opened);
  if (const std::string reason = RunFileReason(exportFile, settingsFiles); !reason.empty()) {
    return Refused(Finding(reason));
  }
  // Decided on the open file, which is the one that Start empties.
  const Result<std::string> start = file_->ReadStart(kLogStart.size());
  if (!start) return Refused(start.failure());
  if (!start->empty() && *start != kLogStart) {
    return Refused(Finding("die Datei gibt es schon, und sie ist kein Traskel-Protokoll"));
  }
  return {};
}

Result<void> CallLogFile::Start(const std::string& exportFile,
                                const std::vector<std::string>& settingsFiles) {
  if (const std::string reason = RunFileReason(exportFile, settingsFiles); !reason.empty()) {
    return Refused(Finding(reason));
  }
  if (const Result<void> emptied = file_->Resize(0); !emptied) return Refused(emptied.failure());
  started_ = true;
  length_ = 0;
  return {};
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

Failure CallLogFile::Refused(Failure failure) {
  Drop();
  failure.reason =
      "Das Protokoll " + Shown(path_) + " kann nicht angelegt werden: " + FailureText(failure);
  return failure;
}

void CallLogFile::EndUnanswered(std::chrono::steady_clock::duration silence, UserInterface& ui) {
  const std::string line = pending_.Line();
  if (line.empty()) return;
  // As the system's own timeout, ERROR_TIMEOUT, would end it.
  Write(line + " -> error 0x800705B4 no answer, given up after " + MinutesSeconds(silence), ui);
}

std::unique_ptr<host::Automation> CallLogFile::Logging(host::Automation& inner, UserInterface& ui) {
  return host::LoggingCalls(
      inner, ids::kRoles, [this, &ui](const std::string& line) { Write(line, ui); }, &pending_);
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
