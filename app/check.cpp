#include "app/check.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

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

using host::DispId;
using host::Value;

constexpr const char* kCrLf = "\r\n";
constexpr std::size_t kShownLines = 10;  // of each list
constexpr const char* kChanged = "sie wurde während der Prüfung verändert";

// A host object that carries out nothing. What the conversion takes from a
// get is an object, and from a call it does not add a command with, a
// Boolean.
class IdleObject : public host::Object, public std::enable_shared_from_this<IdleObject> {
 public:
  Value Get(DispId) override { return host::Obj(shared_from_this()); }
  void Put(DispId, const Value&) override {}
  Value Call(DispId, std::span<const host::Arg>) override { return host::Bool(true); }
};

// The command list: a call on it adds a command.
class IdleCommandList final : public IdleObject {
 public:
  Value Call(DispId, std::span<const host::Arg>) override { return host::Obj(command_); }

 private:
  host::ObjectPtr command_ = std::make_shared<IdleObject>();
};

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
  void Handled(const Run& run, const host::Error* failed) override {
    if (run.lineNumber > kHeaderLines) {
      const auto& keys = RecordKeys();
      const auto key = std::find(keys.begin(), keys.end(), run.Fields[field::kKey]);
      if (key != keys.end()) ++perKey[key - keys.begin()];
      if (!failed) Unread(run);
    }
    if (failed) Failed(run, failed->number(), failed->text());
  }

  // A feature's first field that holds text its steps did not read: the
  // export may have a decimal comma before it.
  void Unread(const Run& run) {
    if (run.fieldsRead.none()) return;  // no feature
    for (int k = field::kLabel; k < kFieldCount; ++k) {
      if (run.fieldsRead.test(static_cast<std::size_t>(k)) || run.Fields[k].empty()) continue;
      if (unreadShown.size() < kShownLines) {
        unreadShown.push_back("Zeile " + std::to_string(run.lineNumber) + ", " +
                              UnreadFieldNote(run.Fields[field::kKey], k, run.Fields[k]));
      }
      ++unread;
      return;
    }
  }

  void Failed(const Run& run, int number, const std::string& text) {
    ++failures;
    if (shown.size() == kShownLines) return;
    std::string line = "Zeile " + std::to_string(run.lineNumber);
    if (run.failedField) {
      line += ", " + FailedFieldNote(run, number);
    } else {
      std::string message = RunTimeErrorText(number, text);
      if (!run.errorDetail.empty()) message += " " + run.errorDetail;
      line += ": Laufzeitfehler '" + std::to_string(number) + "': " + OneLine(message);
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
  if (fromLine && *fromLine > whole.lines()) {
    run.platform.ui.ShowMessage(TooFewLinesText(whole.lines()), kMainCaption, Icon::Exclamation);
    return kNotChosen;
  }
  run.firstLine = fromLine.value_or(1);

  run.Application = host::ObjectPtr(std::make_shared<IdleObject>());
  run.PointData = host::ObjectPtr(std::make_shared<IdleObject>());
  run.CMDS = host::ObjectPtr(std::make_shared<IdleCommandList>());
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
  } catch (const FileError& e) {
    // Reading the export failed.
    return Unreadable(run, e.failure().reason);
  } catch (const host::Error&) {
    // Past the lines, only reading ends the check: the export ended before
    // the length it had at first.
    return Unreadable(run, kChanged);
  } catch (const std::exception& e) {
    // As a conversion would end there, so does the check, and it tells
    // what went wrong, as the conversion's message does.
    run.errorDetail = e.what();
    found.Failed(run, kInternalError, e.what());
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
