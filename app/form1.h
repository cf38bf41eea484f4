// The one-pass run: remembered folder, file choice, copy, conversion.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/resume.h"
#include "conversion/conversion.h"
#include "conversion/fingerprint.h"
#include "conversion/run.h"
#include "conversion/run_time_errors.h"
#include "platform/settings.h"

namespace traskel {

inline constexpr const char* kLastImportFileSetting =
    "HKLM\\SOFTWARE\\Zelvar\\Kastovel\\CSV\\LastImportFile";

// Exit status of the program; a check ends with the one its conversion
// would end with.
enum ExitStatus : int {
  kConverted = 0,      // the whole file went into the host
  kRunFailed = 1,      // an error ended the conversion part-way
  kNotChosen = 2,      // no file chosen, or no copy could be written
  kNotConnected = 3,   // the host or its measurement program is missing
  kLinesNotTaken = 4,  // converted, but lines were not taken over
  kStopped = 5,        // the user stopped it (vom Benutzer abgebrochen)
};

// The message of a run the user stopped before anything reached the host.
inline constexpr const char* kStoppedBeforeSending =
    "Die Konvertierung wurde abgebrochen, bevor etwas an Quorvex gesendet wurde.";

// This run's part in where runs of its export stopped: known once the export
// is chosen, before its copy is written.
struct Continuing {
  std::string file;                // the export, its path as the system resolves it
  std::optional<StopPoint> point;  // where the last run of it stopped, when known
  FirstLines firstLines{0};        // of the copy, up to the point's line
  bool holds = false;              // the point matches the copy: it is offered
};

// Asked with the chosen export before anything is written for it (the
// remembered path, the copy): false ends the run as if none was chosen,
// the gate having told the user why.
using ExportGate = std::function<bool(const std::string& importFile)>;

// How a run's conversion is carried out: right here, or where the program's
// thread can watch it and give up on a call that does not return.
class Converter {
 public:
  virtual ~Converter() = default;
  virtual RunOutcome Convert(Run& run) = 0;
  // After GivenUp: how long the call given up on had waited.
  virtual std::chrono::steady_clock::duration Silence() const = 0;
  // Puts text in the host's status text, where the conversion made its
  // calls, to say how it ended.
  virtual void TellHost(Run& run, const std::string& text) = 0;
};

// An established name, known to users, support notes and scripts: it stays.
// The whole run, in the order of the main window's load event; the settings
// hold the remembered export and where a run of it stopped. An export named
// on the command line stands in for the first choice in the dialog. With
// fromLine the conversion starts at that line without asking; without, it
// offers to go on where the last run of the same export stopped.
ExitStatus Form1Load(Run& run, SettingsStore& settings,
                     const std::optional<std::string>& named = std::nullopt,
                     const ExportGate& gate = {},
                     std::optional<std::int64_t> fromLine = std::nullopt,
                     Converter* converter = nullptr);

// Where the file dialog opens: the folder of the remembered export.
void ReadRememberedFolder(Run& run, SettingsStore& settings);

// Lets the user choose the export and remembers it. False when none was
// chosen, or the user stopped the program meanwhile (after telling the
// user). A named export is taken as if chosen first; the dialog follows only
// when it does not exist.
bool ChooseExport(Run& run, SettingsStore& settings,
                  const std::optional<std::string>& named = std::nullopt,
                  const ExportGate& gate = {});

// An established name, known to users, support notes and scripts: it stays.
// Chooses the export as ChooseExport does, reads where the last run of it
// stopped into `from`, and writes the copy. False when the run must end
// (after telling the user why).
bool cmdSuchen(Run& run, SettingsStore& settings, Continuing& from,
               const std::optional<std::string>& named = std::nullopt, const ExportGate& gate = {});

// The message that ends the run before anything reached the host, with the
// reason when there is one.
void EndInCmdSuchen(Run& run, const std::string& reason);

// Whether a message tells what a conversion did, or what a check foresees
// it would do.
enum class Mood { Done, Foreseen };

// The message at the end of a conversion that left record lines out, or
// found none; a check tells it as what would be.
std::string NotTakenMessage(const RecordTally& tally, Mood mood);

// "Feld 3 (X): "<text>" ist keine Zahl", or that it is out of range for the
// overflow error: the error's field, its text cut to a readable size.
std::string FailedFieldNote(const RunError& e);

// That the field at `index` holds a text that no step of the record's type
// reads, as after a decimal comma that split a number in two.
std::string UnreadFieldNote(const std::string& key, int index, const std::string& text);

// "Feld 3 (X): "60" und Feld 4 "25" – ein Dezimalkomma in X?": where a
// feature record, which as it stands fails or holds a field its type does
// not read, converts reading every field it holds once the two fields
// around one of its commas are one number. Nothing when no single comma
// does that. Tried on an idle host.
std::optional<std::string> DecimalCommaNote(Platform& platform, std::string_view line);

// The message for an error that ends the conversion: number, text, and where
// it happened (the line, and the field when the error names one).
std::string RunErrorMessage(const Run& run, const RunError& e);

// "Die Datei hat nur M Zeilen.", or that it has one or none: the message for
// a first line past the end.
std::string TooFewLinesText(std::int64_t lines);

// Whether the first line asked for lies past the last of the file's
// `lines`; if so, a copy held for it is deleted and the user told.
bool PastTheEnd(Run& run, std::optional<std::int64_t> fromLine, std::int64_t lines);

}  // namespace traskel
