#include "conversion/run_time_errors.h"

#include <utility>

namespace traskel {

namespace {

// The number the automation client gives an error its server raised.
constexpr int kAutomationError = 440;

constexpr std::pair<int, const char*> kOwnErrors[] = {
    {6, "Überlauf"},
    {9, "Index außerhalb des gültigen Bereichs"},
    {13, "Typen unverträglich"},
    {51, "Interner Fehler"},
    {53, "Datei nicht gefunden"},
    {57, "Fehler beim Geräte-E/A"},
    {75, "Fehler beim Zugriff auf Pfad/Datei"},
    {91, "Objektvariable nicht festgelegt"},
    {94, "Unzulässige Verwendung von Null"},
    {429, "Objekterstellung nicht möglich"},
    {438, "Objekt unterstützt diese Eigenschaft oder Methode nicht"},
    {kAutomationError, "Automatisierungsfehler"},
    {450, "Falsche Anzahl an Argumenten oder ungültige Zuweisung zu einer Eigenschaft"},
};

// The English text the run's file errors are raised with.
const char* RaisedFileErrorText(int number) {
  switch (number) {
    case kFileNotFound:
      return "File not found";
    case kDeviceIoError:
      return "Device I/O error";
    case kPathFileAccessError:
    default:
      return "Path/File access error";
  }
}

}  // namespace

RunError::RunError(const host::Error& raised) : host::Error(raised) {}

RunError::RunError(int number, Failure failure)
    : host::Error(number, RaisedFileErrorText(number)), failure(std::move(failure)) {}

RunError RunError::Of(const host::Error& e) {
  if (const auto* placed = dynamic_cast<const RunError*>(&e)) return *placed;
  return RunError(e);
}

const char* OwnErrorText(int number) {
  for (const auto& [own, text] : kOwnErrors) {
    if (own == number) return text;
  }
  return nullptr;
}

std::string RunTimeErrorText(int number, const std::string& raisedText) {
  const char* own = OwnErrorText(number);
  if (own == nullptr) return raisedText;
  std::string text = own;
  if (number == kAutomationError && !raisedText.empty()) text += "\r\n" + raisedText;
  return text;
}

}  // namespace traskel
