#include "app/check.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "app/idle_host.h"
#include "app/intake.h"
#include "conversion/conversion.h"
#include "conversion/failure_text.h"
#include "conversion/feature.h"
#include "conversion/run_time_errors.h"
#include "conversion/titles.h"
#include "platform/file_system.h"
#include "platform/user_interface.h"

namespace traskel {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr std::size_t kShownLines = 10;  // of each list
constexpr const char* kChanged = "sie wurde während der Prüfung verändert";

// The text on one line: line breaks become spaces.
std::string OneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      line += text[i];
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// What the check found, line by line: the records of each known key, the
// lines that would end a conversion, and the features with a field that
// their steps don't read.
class Findings final : public LineWatcher {
 public:
  void Handled(const Run& run, const RunError* failed) override {
    if (run.lineNumber > kHeaderLines) {
      const auto& keys = RecordKeys();
      const auto key = std::find(keys.begin(), keys.end(), run.Fields[field::kKey]);
      if (key != keys.end()) ++perKey[key - keys.begin()];
      if (!failed) Unread(run);
    }
    if (failed) Failed(run, *failed);
  }

  // A feature's first field that holds text its steps did not read: the
  // export may have a decimal comma before it.
  void Unread(const Run& run) {
    if (run.fieldsRead.none()) return;  // no feature
    for (int k = field::kLabel; k < kFieldCount; ++k) {
      if (run.fieldsRead.test(static_cast<std::size_t>(k)) || run.Fields[k].empty()) continue;
      if (unreadShown.size() < kShownLines) {
        const std::optional<std::string> comma = DecimalCommaNote(run.platform, run.line);
        unreadShown.push_back(
            "Zeile " + std::to_string(run.lineNumber) + ", " +
            comma.value_or(UnreadFieldNote(run.Fields[field::kKey], k, run.Fields[k])));
      }
      ++unread;
      return;
    }
  }

  void Failed(const Run& run, const RunError& e) {
    ++failures;
    if (shown.size() == kShownLines) return;
    std::string line = "Zeile " + std::to_string(run.lineNumber);
    if (e.field) {
      // A number split at a decimal comma, rather than the field it shifted.
      const std::optional<std::string> comma = DecimalCommaNote(run.platform, run.line);
      line += ", " + comma.value_or(FailedFieldNote(e));
    } else {
      std::string message = RunTimeErrorText(e.number(), e.text());
      if (!e.detail.empty()) message += " " + e.detail;
      line += ": Laufzeitfehler '" + std::to_string(e.number()) + "': " + OneLine(message);
    }
    shown.push_back(std::move(line));
  }

  std::vector<std::int64_t> perKey = std::vector<std::int64_t>(RecordKeys().size());
  std::int64_t failures = 0;
  std::vector<std::string> shown;  // the first kShownLines
  std::int64_t unread = 0;
  std::vector<std::string> unreadShown;  // the first kShownLines
};

// Lines of a list, and "…" when there were more than it shows.
std::string Listed(const std::vector<std::string>& shown, std::int64_t all) {
  std::string text;
  for (const std::string& line : shown) text += kCrLf + line;
  if (all > static_cast<std::int64_t>(shown.size())) text += std::string(kCrLf) + "…";
  return text;
}

std::string Report(const Run& run, const Findings& found, std::int64_t brokenUtf8Line,
                   ExitStatus status) {
  const RecordTally& tally = run.tally;
  std::string text = "Prüfung von " + Shown(run.ImportFile) + ": ";
  if (tally.records == 0) {
    text += NotTakenMessage(tally, Mood::Foreseen);
  } else {
    text += std::to_string(tally.records) + (tally.records == 1 ? " Datenzeile" : " Datenzeilen");
    std::string counts;
    for (std::size_t k = 0; k < found.perKey.size(); ++k) {
      if (found.perKey[k] == 0) continue;
      if (!counts.empty()) counts += ", ";
      counts += std::string(RecordKeys()[k]) + " " + std::to_string(found.perKey[k]);
    }
    if (!counts.empty()) text += " (" + counts + ")";
  }
  if (brokenUtf8Line > 0) {
    text += std::string(kCrLf) + kCrLf + "Die Datei ist kein gültiges UTF-8 (Zeile " +
            std::to_string(brokenUtf8Line) + ") und wird als " + SystemCodePageName() +
            " gelesen; Umlaute können falsch ankommen.";
  }
  if (found.failures > 0) {
    text += std::string(kCrLf) + kCrLf + std::to_string(found.failures) +
            (found.failures == 1 ? " Zeile würde" : " Zeilen würden") +
            " die Konvertierung abbrechen:" + Listed(found.shown, found.failures);
  }
  if (found.unread > 0) text += kCrLf + Listed(found.unreadShown, found.unread);
  if (tally.skipped > 0)
    text += std::string(kCrLf) + kCrLf + NotTakenMessage(tally, Mood::Foreseen);
  if (run.firstLine > 1) {
    text += std::string(kCrLf) + kCrLf + "Die Zeilen 1 bis " + std::to_string(run.firstLine - 1) +
            " sind nur gezählt, nicht geprüft.";
  }
  if (status == kStopped) {
    text += std::string(kCrLf) + kCrLf + "Prüfung nach Zeile " + std::to_string(run.linesDone) +
            " von " + std::to_string(run.lineCount) + " abgebrochen.";
  } else if (status == kConverted) {
    text += std::string(kCrLf) + kCrLf + "Keine Probleme gefunden.";
  }
  return text;
}

ExitStatus Unreadable(Run& run, const std::string& reason) {
  run.platform.ui.CloseProgress();
  EndInCmdSuchen(run, UnreadableText(run.ImportFile, reason));
  return kNotChosen;
}

}  // namespace

ExitStatus CheckExport(Run& run, SettingsStore& settings, const std::optional<std::string>& named,
                       const ExportGate& gate, std::optional<std::int64_t> fromLine) {
  ReadRememberedFolder(run, settings);
  if (!ChooseExport(run, settings, named, gate)) {
    return run.platform.stop.Requested() ? kStopped : kNotChosen;
  }

  // Once for the length and the encoding, once for the lines, as the
  // conversion reads the copy after it has been written whole.
  Result<std::unique_ptr<InputFile>> opened = run.platform.files.OpenForReading(run.ImportFile);
  if (!opened) return Unreadable(run, FailureText(opened.failure()));
  InputFile& in = **opened;
  ExportSource whole(in);
  if (const Result<void> read = whole.ReadToEnd(); !read) {
    return Unreadable(run, read.failure().reason);
  }
  if (const Result<void> rewound = in.Rewind(); !rewound) {
    return Unreadable(run, rewound.failure().reason);
  }
  ExportSource lines(in);
  if (PastTheEnd(run, fromLine, whole.lines())) return kNotChosen;
  run.firstLine = fromLine.value_or(1);

  ConnectIdle(run);
  Findings found;
  LoopEnd end = LoopEnd::Whole;
  try {
    end = ConvertText(run, lines, whole.given(), whole.encoding(), whole.lines(), &found);
    // A stopped check read no further: what follows is not compared.
    if (end != LoopEnd::Stopped) {
      if (const Result<void> rest = lines.ReadToEnd(); !rest) {
        return Unreadable(run, rest.failure().reason);
      }
      if (lines.given() != whole.given() || lines.encoding() != whole.encoding()) {
        return Unreadable(run, kChanged);
      }
    }
  } catch (const RunError& e) {
    // Past the lines, only reading ends the check: reading the export
    // failed, or it ended before the length it had at first.
    return Unreadable(run, e.failure ? e.failure->reason : kChanged);
  } catch (const std::exception& e) {
    // As a conversion would end there, so does the check, and it tells
    // what went wrong, as the conversion's message does.
    RunError internal(host::Error(kInternalError, e.what()));
    internal.detail = e.what();
    found.Failed(run, internal);
  }

  // What is read other than meant is worth a look, as lines left out are.
  const std::int64_t brokenUtf8Line = whole.brokenUtf8Line();
  const bool doubtful = !run.tally.AllTaken() || found.unread > 0 || brokenUtf8Line > 0;
  const ExitStatus foreseen = found.failures > 0 ? kRunFailed
                              : doubtful         ? kLinesNotTaken
                                                 : kConverted;
  const ExitStatus status = end == LoopEnd::Stopped ? kStopped : foreseen;
  run.platform.ui.CloseProgress();
  run.platform.ui.ShowMessage(Report(run, found, brokenUtf8Line, status), kCheckTitle,
                              foreseen == kConverted ? Icon::Information : Icon::Exclamation);
  return status;
}

}  // namespace traskel
