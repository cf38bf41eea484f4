#include "app/form1.h"

#include <exception>
#include <iterator>

#include "app/intake.h"
#include "conversion/conversion.h"
#include "conversion/run_time_errors.h"
#include "conversion/titles.h"
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

// "Feld 3 (X)": a field by its column, counted from 1 as a spreadsheet counts
// them, with its name when it has one.
std::string FieldName(int index) {
  std::string name = "Feld " + std::to_string(index + 1);
  if (index >= 0 && index < static_cast<int>(std::size(kFieldNames)) && kFieldNames[index]) {
    name += std::string(" (") + kFieldNames[index] + ")";
  }
  return name;
}

}  // namespace

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
  std::string remembered = settings.ReadSetting(kLastImportFileSetting);
  if (!remembered.empty()) run.ImportDir = SplitPathFromFile(remembered);
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
    if (!chosen) {
      EndInCmdSuchen(run, "");
      return false;
    }
    run.ImportFile = *chosen;
    chosen.reset();
    if (run.platform.files.Exists(run.ImportFile)) break;
    run.platform.ui.ShowMessage(std::string("Die Datei ") + kCrLf + kCrLf + "'" + run.ImportFile +
                                    "'" + kCrLf + kCrLf + "existiert nicht oder ist leer",
                                kMainCaption, Icon::Information);
  }
  if (gate && !gate(run.ImportFile)) return false;
  if (!settings.WriteSetting(kLastImportFileSetting, run.ImportFile)) {
    // An established text, known to users and support notes: it stays.
    run.platform.ui.ShowMessage(
        "Fehler beim Speichern des Wertes. Der Konverter kann sich den letzten Speicherort der "
        "Datei nicht anlegen (Kein Admin) " +
            run.ImportFile,
        kAppTitle, Icon::None);
  }
  return true;
}

bool cmdSuchen(Run& run, SettingsStore& settings, const std::optional<std::string>& named,
               const ExportGate& gate) {
  if (!ChooseExport(run, settings, named, gate)) return false;
  std::string error;
  if (!WriteNormalisedCopy(run.platform.files, run.ImportFile, CopyPathFor(run.ImportFile),
                           run.copy, error)) {
    EndInCmdSuchen(run, error);
    return false;
  }
  return true;
}

std::string FailedFieldNote(const Run& run, int number) {
  return FieldName(run.failedField.value_or(0)) + ": \"" + Shorten(run.failedFieldText) + "\" " +
         (number == host::kOverflow ? "liegt außerhalb des Zahlenbereichs" : "ist keine Zahl");
}

std::string UnreadFieldNote(const std::string& key, int index, const std::string& text) {
  return "Feld " + std::to_string(index + 1) + ": \"" + Shorten(text) + "\" wird bei " + key +
         " nicht gelesen; steht ein Dezimalkomma davor?";
}

std::string RunErrorMessage(const Run& run, int number, const std::string& text) {
  std::string message = "Laufzeitfehler '" + std::to_string(number) + "':" + kCrLf + kCrLf +
                        RunTimeErrorText(number, text);
  if (!run.errorDetail.empty()) message += std::string(kCrLf) + run.errorDetail;
  if (run.lineNumber > 0) {
    message += std::string(kCrLf) + kCrLf + "Zeile " + std::to_string(run.lineNumber) + ": " +
               Shorten(run.line);
  }
  if (run.failedField) message += std::string(kCrLf) + FailedFieldNote(run, number);
  if (run.shortRead) {
    message += std::string(kCrLf) + "Die Kopie " + CopyPathFor(run.ImportFile) +
               " wurde während der Konvertierung verändert (geschrieben: " +
               std::to_string(run.copy.length) +
               " Bytes, gelesen: " + std::to_string(*run.shortRead) + " Bytes).";
  }
  if (!run.ImportFile.empty() && run.platform.files.Exists(CopyPathFor(run.ImportFile))) {
    message += std::string(kCrLf) + kCrLf + "Die Kopie " + CopyPathFor(run.ImportFile) +
               " bleibt erhalten; die bis hier angelegten Befehle bleiben im Messprogramm.";
  }
  return message;
}

ExitStatus Form1Load(Run& run, SettingsStore& settings, const std::optional<std::string>& named,
                     const ExportGate& gate) {
  ReadRememberedFolder(run, settings);

  if (!cmdSuchen(run, settings, named, gate)) return kNotChosen;

  try {
    if (RunConversion(run) == RunOutcome::NotConnected) return kNotConnected;
    if (run.tally.AllTaken()) return kConverted;
    run.platform.ui.ShowMessage(NotTakenMessage(run.tally, Mood::Done), kMainCaption,
                                Icon::Exclamation);
    return kLinesNotTaken;
  } catch (const host::Error& e) {
    // The copy stays for the user to look at; this run is done with it.
    run.copy.file.reset();
    run.platform.ui.ShowMessage(RunErrorMessage(run, e.number(), e.text()), kAppTitle,
                                Icon::Critical);
  } catch (const std::exception& e) {
    run.copy.file.reset();
    run.errorDetail = e.what();
    run.platform.ui.ShowMessage(RunErrorMessage(run, kInternalError, e.what()), kAppTitle,
                                Icon::Critical);
  }
  return kRunFailed;
}

}  // namespace traskel
