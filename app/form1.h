// The one-pass run: remembered folder, file choice, copy, conversion.
#pragma once

#include <optional>
#include <string>

#include "conversion/run.h"
#include "platform/settings.h"

namespace traskel {

inline constexpr const char* kLastImportFileSetting =
    "HKLM\\SOFTWARE\\Zelvar\\Kastovel\\CSV\\LastImportFile";

// Exit status of the program.
enum ExitStatus : int {
  kConverted = 0,      // the whole file went into the host
  kRunFailed = 1,      // an error ended the conversion part-way
  kNotChosen = 2,      // no file chosen, or no copy could be written
  kNotConnected = 3,   // the host or its measurement program is missing
  kLinesNotTaken = 4,  // converted, but lines were not taken over
};

// The whole run, in the order of the main window's load event; the settings
// hold the remembered export. An export named on the command line stands in
// for the first choice in the dialog.
ExitStatus Form1Load(Run& run, SettingsStore& settings,
                     const std::optional<std::string>& named = std::nullopt);

// Lets the user choose the export, remembers it and writes the copy. False
// when the run must end (after telling the user why). A named export is
// taken as if chosen first; the dialog follows only when it does not exist.
bool cmdSuchen(Run& run, SettingsStore& settings,
               const std::optional<std::string>& named = std::nullopt);

// The message at the end of a conversion that left record lines out, or
// found none.
std::string NotTakenMessage(const RecordTally& tally);

// The message for an error that ends the conversion: number, text, and where
// it happened (the line, and the field when one is noted in the run).
std::string RunErrorMessage(const Run& run, int number, const std::string& text);

}  // namespace traskel
