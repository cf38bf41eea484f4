#include "app/form1.h"

#include <exception>
#include <iterator>

#include "app/idle_host.h"
#include "app/intake.h"
#include "app/resume.h"
#include "conversion/conversion.h"
#include "conversion/failure_text.h"
#include "conversion/feature.h"
#include "conversion/run_time_errors.h"
#include "conversion/titles.h"
#include "platform/command_line.h"
#include "platform/file_system.h"
#include "platform/user_interface.h"

namespace traskel {

namespace {

constexpr const char* kCrLf = "\r\n";
// A line is shown in an error message up to this many bytes.
constexpr std::size_t kShownLineBytes = 300;
// A skipped line is shown up to this many characters.
constexpr std::size_t kShownSkippedChars = 80;

std::string Shorten(const std::string& s) {
  if (s.size() <= kShownLineBytes) return s;
  std::size_t cut = kShownLineBytes;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;  // whole UTF-8
  return s.substr(0, cut) + " … (" + std::to_string(s.size()) + " Bytes)";
}

// "…" after the first kShownSkippedChars characters of a longer line.
std::string Cut(const std::string& line) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;  // within a character
    if (characters++ == kShownSkippedChars) return line.substr(0, i) + "…";
  }
  return line;
}

std::string SeparatorHint(const char* separator) {
  return std::string("Die Datei scheint mit ") + separator +
         " statt Komma getrennt zu sein; Traskel erwartet Kommas.";
}

// The columns of the record layout by the names an export's header gives
// them; the columns no step reads have none.
constexpr const char* kFieldNames[] = {
    "Typ",     "Name", "X",  "Y",  "Z",    "I",     "J",     "K",    "Form",  "Größe 1",
    "Größe 2", "I2",   "J2", "K2", "Lage", nullptr, nullptr, "Wert", nullptr, "Option",
};

// The name the layout gives a column, or null.
const char* FieldTitle(int index) {
  return index >= 0 && index < static_cast<int>(std::size(kFieldNames)) ? kFieldNames[index]
                                                                        : nullptr;
}

// "Feld 3 (X)": a field by its column, counted from 1 as a spreadsheet counts
// them, with its name when it has one.
std::string FieldName(int index) {
  std::string name = "Feld " + std::to_string(index + 1);
  if (const char* title = FieldTitle(index)) name += std::string(" (") + title + ")";
  return name;
}

// The half-built command's sentence: the stop's message and the offer
// both tell it, for the user to delete the command before going on.
// Of a record whose call was given up on, the command may not be there.
std::string HalfBuiltText(std::int64_t line, const std::string& name, bool maybe = false) {
  return "Der Befehl " + (name.empty() ? "" : Shown(Shorten(name)) + " ") + "aus Zeile " +
         std::to_string(line) + (maybe ? " ist womöglich" : " ist") +
         " unvollständig im Messprogramm; bitte löschen Sie ihn vor dem Fortsetzen" +
         (maybe ? ", falls es ihn gibt." : ".");
}

std::string ResumeOfferedText(std::int64_t next) {
  return "Fortsetzen: Traskel erneut mit dieser Datei starten; es bietet an, ab Zeile " +
         std::to_string(next) + " weiterzumachen.";
}

// "traskel --ab-zeile N '<export>'", to paste into the system's shell.
std::string FromLineCommand(const Run& run, std::int64_t line) {
  return "traskel --ab-zeile " + std::to_string(line) + " " + Shown(ShellQuoted(run.ImportFile));
}

// What a No at the offer sends again.
std::string SentAgainText(std::int64_t done) {
  if (done <= kHeaderLines) {
    return "(die Kommentare der Zeilen 1 bis " + std::to_string(done) +
           " kämen ein zweites Mal ins Messprogramm)";
  }
  const std::string lines =
      done == kHeaderLines + 1
          ? "der Zeile " + std::to_string(done)
          : "der Zeilen " + std::to_string(kHeaderLines + 1) + " bis " + std::to_string(done);
  return "(die Befehle " + lines + " kämen ein zweites Mal ins Messprogramm)";
}

std::string OfferText(const Run& run, const StopPoint& point) {
  const std::string next = std::to_string(point.line + 1);
  std::string text = "Die letzte Konvertierung von " + Shown(run.ImportFile) +
                     " endete nach Zeile " + std::to_string(point.line) + " von " +
                     std::to_string(point.lines) + ". Ab Zeile " + next + " fortsetzen?" + kCrLf +
                     kCrLf;
  if (point.halfBuilt != 0) {
    text +=
        HalfBuiltText(point.halfBuilt, point.halfBuiltName, point.halfBuiltMaybe) + kCrLf + kCrLf;
  }
  // The host has no name for its measurement program to compare.
  return text +
         "Nur fortsetzen, wenn in Quorvex dasselbe Messprogramm geöffnet ist wie beim letzten "
         "Lauf." +
         kCrLf + kCrLf + "Ja: ab Zeile " + next + " fortsetzen." + kCrLf +
         "Nein: die ganze Datei konvertieren." + kCrLf + SentAgainText(point.line) + kCrLf +
         "Abbrechen: nichts tun.";
}

// Where no one can answer, the offer is not put: both ways on are told.
std::string UnaskedText(const Run& run, const StopPoint& point) {
  std::string text =
      "Die letzte Konvertierung von " + Shown(run.ImportFile) + " endete nach Zeile " +
      std::to_string(point.line) + " von " + std::to_string(point.lines) +
      ". Ohne Rückfrage geht Traskel nicht weiter: " + FromLineCommand(run, point.line + 1) +
      " setzt fort, " + FromLineCommand(run, 1) + " konvertiert alles.";
  if (point.halfBuilt != 0) {
    text += std::string(kCrLf) + kCrLf +
            HalfBuiltText(point.halfBuilt, point.halfBuiltName, point.halfBuiltMaybe);
  }
  return text;
}

// A stop before anything reached the host. The copy goes; where the last
// run stopped stays as it was.
ExitStatus EndBeforeSending(Run& run, const Continuing& from) {
  run.platform.ui.CloseProgress();
  DeleteCopy(run);
  std::string text = kStoppedBeforeSending;
  if (from.holds) text += std::string(kCrLf) + kCrLf + ResumeOfferedText(from.point->line + 1);
  run.platform.ui.ShowMessage(text, kMainCaption, Icon::Information);
  return kStopped;
}

// Where the conversion starts, once the copy is written and before anything
// reaches the host: the line asked for, or after where the last run of this
// export stopped if its lines up to there are unchanged, something follows
// them, and the user wants it. Ends the run, the copy deleted, when the line
// asked for is past the end, the user cancels or stops, or no one can be
// asked.
std::optional<ExitStatus> ChooseFirstLine(Run& run, SettingsStore& settings,
                                          std::optional<std::int64_t> fromLine, Continuing& from) {
  UserInterface& ui = run.platform.ui;
  if (PastTheEnd(run, fromLine, run.copy.lines)) return kNotChosen;
  if (fromLine) {
    run.firstLine = *fromLine;
    return std::nullopt;
  }
  if (!from.point) return std::nullopt;
  const StopPoint& point = *from.point;
  if (point.line >= run.copy.lines || from.firstLines.fingerprint().count() < point.line ||
      StopPointFingerprint(from.file, from.firstLines.fingerprint(), run.copy.encoding) !=
          point.fingerprint) {
    // The commands in the host no longer tell where this file stands, or
    // nothing follows the place. Should it stay, it is offered no more all
    // the same: its lines no longer match.
    static_cast<void>(ForgetStopPoint(settings, from.file));
    from.point.reset();
    return std::nullopt;
  }
  from.holds = true;
  if (!ui.QuestionsReachUser()) {
    DeleteCopy(run);
    ui.ShowMessage(UnaskedText(run, point), kMainCaption, Icon::Exclamation);
    return kStopped;
  }
  switch (ui.AskYesNoCancel(OfferText(run, point), kMainCaption, Icon::Question)) {
    case Answer::Yes:
      run.firstLine = point.line + 1;
      break;
    case Answer::No:
      break;
    default:
      if (run.platform.stop.Requested()) return EndBeforeSending(run, from);
      DeleteCopy(run);
      return kStopped;
  }
  return std::nullopt;
}

// "Fortsetzen: traskel --ab-zeile N … macht ab Zeile N weiter", where no
// offer will come.
std::string GoOnByCommandText(const Run& run, std::int64_t line) {
  return "Fortsetzen: " + FromLineCommand(run, line) + " macht ab Zeile " + std::to_string(line) +
         " weiter";
}

// Remembers where a conversion that ended part-way stopped, while its copy
// is still held, and gives the sentences that end its message: how to go
// on, after a word on the command a record left half-built. What was
// remembered of this export before no longer holds, and goes when nothing
// new takes its place.
// `inFlight`: the run was given up on in the middle of a line, whose
// command may be half-built once the host was asked to add it.
std::string RememberWhereItEnded(Run& run, SettingsStore& settings, Continuing& from,
                                 bool inFlight = false) {
  const std::int64_t done = run.linesDone;
  std::string text;
  StopPoint point{from.file, done, run.lineCount, "", 0, ""};
  const bool maybe = inFlight && run.addingLine == done + 1 && run.cmdLine != done + 1;
  if (run.cmdLine == done + 1 || maybe) {
    point.halfBuilt = done + 1;
    point.halfBuiltMaybe = maybe;
    if (point.halfBuilt > kHeaderLines) point.halfBuiltName = run.Fields[field::kLabel];
    text = HalfBuiltText(point.halfBuilt, point.halfBuiltName, maybe) + kCrLf;
  }
  // Ended while passing the lines an earlier run sent: nothing of this run
  // reached the host, and what was remembered still holds.
  if (done + 1 < run.firstLine) {
    if (from.holds) return ResumeOfferedText(run.firstLine);
    return GoOnByCommandText(run, run.firstLine) + ".";
  }
  // Before the first line was whole, there is nothing to go on from. What
  // was remembered goes, as the host has more of the file than it says.
  if (done == 0) {
    if (from.point) static_cast<void>(ForgetStopPoint(settings, from.file));  // told either way
    return text + "Fortsetzen: Traskel erneut mit dieser Datei starten.";
  }
  point.fingerprint = StopPointFingerprint(from.file, run.passed, run.copy.encoding);
  const Result<void> kept = RememberStopPoint(settings, point);
  if (kept) return text + ResumeOfferedText(done + 1);
  if (from.point) static_cast<void>(ForgetStopPoint(settings, from.file));  // told either way
  return text + GoOnByCommandText(run, done + 1) +
         "; Traskel kann sich die Stelle nicht merken: " + FailureText(kept.failure());
}

// The sentences after an error's message: how to go on, or, once every
// line was whole, that there is nothing to go on with.
std::string AfterError(Run& run, SettingsStore& settings, Continuing& from) {
  if (run.linesDone < run.lineCount) return RememberWhereItEnded(run, settings, from);
  if (from.point) static_cast<void>(ForgetStopPoint(settings, from.file));  // nothing to offer
  return "Alle " + std::to_string(run.lineCount) +
         " Zeilen sind im Messprogramm; nur der Status am Ende konnte nicht gesetzt werden. Es "
         "gibt nichts fortzusetzen.";
}

// A stop between records, or in one when the user gave up on a busy host.
// A host that still answers is told too, through `host`, where the user
// watched the progress; a busy one would only refuse it.
ExitStatus EndStopped(Run& run, SettingsStore& settings, Continuing& from, Converter* host) {
  run.platform.ui.CloseProgress();
  // Given up while the end status waited for a busy host: every line is in.
  if (run.lineCount > 0 && run.linesDone == run.lineCount) {
    const std::string text = AfterError(run, settings, from);
    DeleteCopy(run);
    run.platform.ui.ShowMessage(text, kMainCaption, Icon::Information);
    return kStopped;
  }
  const std::string done = std::to_string(run.linesDone);
  if (host != nullptr) {
    host->TellHost(
        run, "Abgebrochen nach Zeile " + done + " von " + std::to_string(run.lineCount) + ".");
  }
  const std::string resume = RememberWhereItEnded(run, settings, from);
  DeleteCopy(run);
  run.platform.ui.ShowMessage("Die Konvertierung wurde nach Zeile " + done + " von " +
                                  std::to_string(run.lineCount) +
                                  " abgebrochen. Die Befehle bis Zeile " + done +
                                  " sind im Messprogramm." + kCrLf + kCrLf + resume,
                              kMainCaption, Icon::Information);
  return kStopped;
}

// A call that did not return was given up on when the user asked to stop:
// the copy goes, and the record in flight is named as possibly half-built.
ExitStatus EndGivenUp(Run& run, SettingsStore& settings, Continuing& from,
                      std::chrono::steady_clock::duration silence) {
  run.platform.ui.CloseProgress();
  const std::int64_t done = run.linesDone;
  const bool whole = run.lineCount > 0 && done == run.lineCount;
  std::string text =
      "Quorvex hat seit " + MinutesSeconds(silence) +
      " nicht geantwortet; die Konvertierung wurde " +
      (whole ? std::string("nach der letzten Zeile") : "in Zeile " + std::to_string(done + 1)) +
      " abgebrochen.";
  const std::string after =
      whole ? AfterError(run, settings, from) : RememberWhereItEnded(run, settings, from, true);
  DeleteCopy(run);
  run.platform.ui.ShowMessage(text + kCrLf + kCrLf + after, kMainCaption, Icon::Exclamation);
  return kStopped;
}

// The conversion on the caller's own thread.
class DirectConverter final : public Converter {
 public:
  RunOutcome Convert(Run& run) override { return RunConversion(run); }
  std::chrono::steady_clock::duration Silence() const override { return {}; }
  void TellHost(Run& run, const std::string& text) override { PutEndStatus(run, text); }
};

// A host that ended or went out of reach may have lost what it was sent
// last: the user looks, rather than being told it is all there.
std::string HostGoneMessage(const Run& run, const RunError& e) {
  const std::int64_t done = run.linesDone;
  std::string text =
      (done < run.lineCount ? "Quorvex wurde in Zeile " + std::to_string(done + 1)
                            : std::string("Quorvex wurde nach der letzten Zeile")) +
      " beendet oder ist nicht mehr erreichbar." + kCrLf +
      "Bitte Quorvex neu starten, das Messprogramm öffnen und prüfen, ob die Befehle bis Zeile " +
      std::to_string(done) + " darin sind." + kCrLf + kCrLf + e.text() + " (" +
      host::HresultText(e.number()) + ")";
  if (!run.ImportFile.empty() && run.platform.files.Exists(CopyPathFor(run.ImportFile))) {
    text += std::string(kCrLf) + kCrLf + "Die Kopie " + Shown(CopyPathFor(run.ImportFile)) +
            " bleibt erhalten.";
  }
  return text;
}

// The message of an error that ended the conversion, and how to go on. The
// copy stays for the user to look at; this run is done with it.
void EndInError(Run& run, SettingsStore& settings, Continuing& from, const RunError& e,
                Converter& host) {
  run.platform.ui.CloseProgress();
  const bool gone = host::IsHostGone(e.number());
  // A failing line while the host still answers is named where the user
  // watched the progress.
  if (!gone && e.lineNumber > 0) {
    host.TellHost(run, "Fehler in Zeile " + std::to_string(e.lineNumber) + ".");
  }
  const std::string after = AfterError(run, settings, from);
  run.copy.file.reset();
  run.platform.ui.ShowMessage(
      (gone ? HostGoneMessage(run, e) : RunErrorMessage(run, e)) + kCrLf + kCrLf + after, kAppTitle,
      Icon::Critical);
}

}  // namespace

std::string TooFewLinesText(std::int64_t lines) {
  if (lines == 0) return "Die Datei ist leer.";
  return "Die Datei hat nur " + std::to_string(lines) + (lines == 1 ? " Zeile." : " Zeilen.");
}

bool PastTheEnd(Run& run, std::optional<std::int64_t> fromLine, std::int64_t lines) {
  if (!fromLine || *fromLine <= lines) return false;
  DeleteCopy(run);
  run.platform.ui.ShowMessage(TooFewLinesText(lines), kMainCaption, Icon::Exclamation);
  return true;
}

std::string NotTakenMessage(const RecordTally& tally, Mood mood) {
  if (tally.records == 0) return "Die Datei enthält keine Datenzeilen.";
  const bool one = tally.skipped == 1;
  const char* verb = mood == Mood::Done ? (one ? "wurde" : "wurden") : (one ? "würde" : "würden");
  std::string text = std::to_string(tally.skipped) + " von " + std::to_string(tally.records) +
                     (tally.records == 1 ? " Datenzeile " : " Datenzeilen ") + verb +
                     " nicht übernommen (unbekannter Typ):" + kCrLf;
  for (const SkippedLine& skipped : tally.firstSkipped) {
    text +=
        std::string(kCrLf) + "Zeile " + std::to_string(skipped.number) + ": " + Cut(skipped.text);
    if (!skipped.meant.empty()) text += " (gemeint: " + std::string(skipped.meant) + "?)";
  }
  if (tally.skipped > static_cast<std::int64_t>(tally.firstSkipped.size())) {
    text += std::string(kCrLf) + "…";
  }
  if (tally.keyWithSemicolon) text += std::string(kCrLf) + kCrLf + SeparatorHint("Semikolon");
  if (tally.keyWithTab) text += std::string(kCrLf) + kCrLf + SeparatorHint("Tabulator");
  if (tally.firstTabbed > 0) {
    text += std::string(kCrLf) + kCrLf + "Zeile " + std::to_string(tally.firstTabbed) +
            " beginnt mit einem Tabulator.";
  }
  // The commands of every other line are in the measurement program now.
  if (mood == Mood::Done) {
    text += std::string(kCrLf) + kCrLf +
            "Wer die Datei korrigiert und erneut konvertiert, erhält alle übrigen Befehle ein "
            "zweites Mal.";
  }
  return text;
}

void EndInCmdSuchen(Run& run, const std::string& reason) {
  // An established text, typo included, known to users and support notes: it stays.
  std::string text = "Error oder Abbruch in cmdSuchenDar Programm wird beendet";
  if (!reason.empty()) text += std::string(kCrLf) + kCrLf + reason;
  run.platform.ui.ShowMessage(text, kMainCaption, Icon::Critical);
}

void ReadRememberedFolder(Run& run, SettingsStore& settings) {
  const Result<std::string> remembered = settings.Read(kLastImportFileSetting);
  // Only where the dialog starts: a value that can't be read is none.
  if (remembered && !remembered->empty()) run.ImportDir = SplitPathFromFile(*remembered);
}

bool ChooseExport(Run& run, SettingsStore& settings, const std::optional<std::string>& named,
                  const ExportGate& gate) {
  std::optional<std::string> chosen;
  if (named) chosen = AbsolutePath(*named);
  for (;;) {
    if (!chosen) {
      FileDialogRequest request{"Auswahl CSV Dateien", "CSV Dateien (*csv)|*.csv|",
                                DialogStartFolder(run.ImportDir)};
      chosen = run.platform.ui.ChooseFile(request);
    }
    if (!chosen && run.platform.stop.Requested()) {
      run.platform.ui.ShowMessage(kStoppedBeforeSending, kMainCaption, Icon::Information);
      return false;
    }
    if (!chosen) {
      EndInCmdSuchen(run, "");
      return false;
    }
    run.ImportFile = *chosen;
    chosen.reset();
    if (run.platform.files.Exists(run.ImportFile)) break;
    run.platform.ui.ShowMessage(std::string("Die Datei ") + kCrLf + kCrLf + "'" +
                                    Shown(run.ImportFile) + "'" + kCrLf + kCrLf +
                                    "existiert nicht oder ist leer",
                                kMainCaption, Icon::Information);
  }
  if (gate && !gate(run.ImportFile)) return false;
  if (!settings.Write(kLastImportFileSetting, run.ImportFile)) {
    // An established text, known to users and support notes: it stays.
    run.platform.ui.ShowMessage(
        "Fehler beim Speichern des Wertes. Der Konverter kann sich den letzten Speicherort der "
        "Datei nicht anlegen (Kein Admin) " +
            Shown(run.ImportFile),
        kAppTitle, Icon::None);
  }
  return true;
}

bool cmdSuchen(Run& run, SettingsStore& settings, Continuing& from,
               const std::optional<std::string>& named, const ExportGate& gate) {
  if (!ChooseExport(run, settings, named, gate)) return false;
  // The place is kept by the file the system opens, whatever name leads there.
  Result<std::string> resolved = run.platform.files.ResolvedPath(run.ImportFile);
  from.file = resolved ? std::move(*resolved) : run.ImportFile;
  from.point = ReadStopPoint(settings, from.file);
  from.firstLines = FirstLines(from.point ? from.point->line : 0);
  const Result<void> written =
      WriteNormalisedCopy(run.platform.files, run.ImportFile, CopyPathFor(run.ImportFile), run.copy,
                          run.platform.stop, &from.firstLines);
  if (written) return true;
  const std::string& error = written.failure().reason;
  if (run.platform.stop.Requested()) {
    // The partial copy is gone, or the message names it.
    const std::string copyWord = error.starts_with(kCrLf) ? error.substr(4) : error;
    run.platform.ui.ShowMessage(std::string(kStoppedBeforeSending) + " " + copyWord, kMainCaption,
                                Icon::Information);
  } else {
    EndInCmdSuchen(run, error);
  }
  return false;
}

std::string FailedFieldNote(const RunError& e) {
  return FieldName(e.field.value_or(0)) + ": \"" + Shorten(e.fieldText) + "\" " +
         (e.number() == host::kOverflow ? "liegt außerhalb des Zahlenbereichs" : "ist keine Zahl");
}

namespace {

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Whether the record converts on an idle host, as a feature that reads
// every field it holds.
bool ReadsWhole(Platform& platform, const std::string& record) {
  Run trial(platform);
  ConnectIdle(trial);
  SplitFields(trial.Fields, record);
  try {
    if (!DispatchRecord(trial, record)) return false;
  } catch (const host::Error&) {
    return false;
  }
  if (trial.fieldsRead.none()) return false;  // a comment, not a feature
  for (int k = field::kLabel; k < kFieldCount; ++k) {
    if (!trial.fieldsRead.test(static_cast<std::size_t>(k)) && !trial.Fields[k].empty()) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> DecimalCommaNote(Platform& platform, std::string_view line) {
  const std::string record(TrimSpaces(line));
  int index = 0;  // of the field before the comma
  for (std::size_t comma = record.find(','); comma != std::string::npos;
       comma = record.find(',', comma + 1), ++index) {
    if (index < field::kX) continue;
    const std::size_t start = record.rfind(',', comma - 1) + 1;
    const std::size_t end = std::min(record.find(',', comma + 1), record.size());
    const std::string_view whole(record.data() + start, comma - start);
    const std::string_view part(record.data() + comma + 1, end - comma - 1);
    const bool signed_ = !whole.empty() && (whole[0] == '-' || whole[0] == '+');
    if (!IsDigits(whole.substr(signed_ ? 1 : 0)) || !IsDigits(part)) continue;
    std::string joined = record;
    joined[comma] = '.';
    if (!ReadsWhole(platform, joined)) continue;
    const char* name = FieldTitle(index);
    return FieldName(index) + ": \"" + std::string(whole) + "\" und Feld " +
           std::to_string(index + 2) + " \"" + std::string(part) + "\" – ein Dezimalkomma in " +
           (name ? std::string(name) : "Feld " + std::to_string(index + 1)) + "?";
  }
  return std::nullopt;
}

std::string UnreadFieldNote(const std::string& key, int index, const std::string& text) {
  return "Feld " + std::to_string(index + 1) + ": \"" + Shorten(text) + "\" wird bei " + key +
         " nicht gelesen; steht ein Dezimalkomma davor?";
}

std::string RunErrorMessage(const Run& run, const RunError& e) {
  std::string message = "Laufzeitfehler '" + std::to_string(e.number()) + "':" + kCrLf + kCrLf +
                        RunTimeErrorText(e.number(), e.text());
  if (!e.detail.empty()) message += std::string(kCrLf) + e.detail;
  if (e.lineNumber > 0) {
    message += std::string(kCrLf) + kCrLf + "Zeile " + std::to_string(e.lineNumber) + ": " +
               Shorten(e.line);
  }
  if (e.field) {
    // The comma that shifted the fields first, then the field it hit.
    if (const auto comma = DecimalCommaNote(run.platform, e.line)) message += kCrLf + *comma;
    message += std::string(kCrLf) + FailedFieldNote(e);
  }
  if (e.shortRead) {
    message += std::string(kCrLf) + "Die Kopie " + Shown(CopyPathFor(run.ImportFile)) +
               " wurde während der Konvertierung verändert (geschrieben: " +
               std::to_string(run.copy.length) +
               " Bytes, gelesen: " + std::to_string(*e.shortRead) + " Bytes).";
  }
  if (!run.ImportFile.empty() && run.platform.files.Exists(CopyPathFor(run.ImportFile))) {
    message += std::string(kCrLf) + kCrLf + "Die Kopie " + Shown(CopyPathFor(run.ImportFile)) +
               " bleibt erhalten; die bis hier angelegten Befehle bleiben im Messprogramm.";
  }
  return message;
}

ExitStatus Form1Load(Run& run, SettingsStore& settings, const std::optional<std::string>& named,
                     const ExportGate& gate, std::optional<std::int64_t> fromLine,
                     Converter* converter) {
  ReadRememberedFolder(run, settings);

  Continuing from;
  if (!cmdSuchen(run, settings, from, named, gate)) {
    return run.platform.stop.Requested() ? kStopped : kNotChosen;
  }
  if (const std::optional<ExitStatus> ended = ChooseFirstLine(run, settings, fromLine, from)) {
    return *ended;
  }

  DirectConverter here;
  Converter& host = converter != nullptr ? *converter : here;
  UserInterface& ui = run.platform.ui;
  try {
    switch (host.Convert(run)) {
      case RunOutcome::NotConnected:
        return kNotConnected;
      case RunOutcome::NotStarted:
        return EndBeforeSending(run, from);
      case RunOutcome::Stopped:
        return EndStopped(run, settings, from, &host);
      case RunOutcome::GivenUp:
        return EndGivenUp(run, settings, from, host.Silence());
      case RunOutcome::Converted:
        break;
    }
    // A whole file leaves nothing to go on with. An entry that stays would
    // be offered again, for lines the host now holds: the user is told.
    if (from.point) {
      if (const Result<void> forgotten = ForgetStopPoint(settings, from.file); !forgotten) {
        ui.CloseProgress();
        ui.ShowMessage("Traskel kann nicht vergessen, wo die letzte Konvertierung von " +
                           Shown(run.ImportFile) + " endete: " + FailureText(forgotten.failure()) +
                           kCrLf + kCrLf + "Bietet Traskel beim nächsten Lauf an, ab Zeile " +
                           std::to_string(from.point->line + 1) +
                           " fortzusetzen, antworten Sie mit Nein: die Datei ist ganz übernommen.",
                       kMainCaption, Icon::Exclamation);
      }
    }
    if (run.tally.AllTaken()) {
      // Where a window showed the progress, the program's own or the run's.
      ui.FinishProgress(FinishedText(run, true));
      return kConverted;
    }
    ui.CloseProgress();
    ui.ShowMessage(NotTakenMessage(run.tally, Mood::Done), kMainCaption, Icon::Exclamation);
    return kLinesNotTaken;
  } catch (const host::GaveUpOnBusyHost&) {
    // The user's own choice: a stop, in the record that waited.
    return EndStopped(run, settings, from, nullptr);
  } catch (const host::Error& e) {
    EndInError(run, settings, from, RunError::Of(e), host);
  } catch (const std::exception& e) {
    RunError internal(host::Error(kInternalError, e.what()));
    internal.detail = e.what();
    EndInError(run, settings, from, internal, host);
  }
  return kRunFailed;
}

}  // namespace traskel
