#include "conversion/connection.h"

#include "conversion/host_ids.h"
#include "conversion/run_time_errors.h"
#include "conversion/titles.h"
#include "host/busy.h"
#include "platform/user_interface.h"

namespace traskel {

using namespace host;

namespace {

// An established text, known to users and support notes: it stays.
constexpr const char* kTitle = "Error in Function fktStartQuorvex()";

constexpr const char* kBusyQuestion =
    "Quorvex ist beschäftigt und nimmt keine Befehle an (zum Beispiel wegen eines offenen "
    "Dialogs).\r\n\r\nWiederholen: weiter versuchen. Abbrechen: die Konvertierung beenden.";

void ReportMissing(Run& run, const char* text) {
  run.platform.ui.ShowMessage(text, kTitle, Icon::Critical);
}

// The error as the user reads it: its text and its number, an HRESULT in
// hex as the system writes them.
std::string Described(const std::string& text, int number) {
  return text + (IsComError(number) ? " (" + HresultText(number) + ")"
                                    : " (Fehler " + std::to_string(number) + ")");
}

// A call on a missing object is the program's own error and reads as its
// other run-time errors do; the host's and the system's errors come as they
// are.
std::string TextOf(const Error& e) {
  return e.number() == kObjectNotSet ? OwnErrorText(kObjectNotSet) : e.text();
}

// The question is left out when Quorvex answered and the user gave up on it.
void ReportFailure(Run& run, const char* step, const std::string& error, bool askIfRunning) {
  std::string text = std::string(step) + ": " + error;
  if (askIfRunning) text += "\r\n\r\nIst Quorvex gestartet und ein Messprogramm geöffnet?";
  run.platform.ui.ShowMessage(text, "ERROR in fktStartQuorvex()", Icon::Exclamation);
}

}  // namespace

KeepWaiting AskWhetherToWaitForHost(UserInterface& ui) {
  return [&ui] {
    return ui.AskRetryOrCancel(kBusyQuestion, kMainCaption, Icon::Exclamation) == Answer::Retry;
  };
}

bool fktStartQuorvex(Run& run) {
  Automation& automation = run.platform.automation;
  // After a missing object the steps go on: the next call on it fails and
  // lands on the error path, which names that step. Creating an object
  // either gives one or fails.
  const char* step = "Quorvex.Application kann nicht erstellt werden";
  try {
    run.Application = automation.CreateObject("Quorvex.Application");
    step = "Quorvex.PointData kann nicht erstellt werden";
    run.PointData = automation.CreateObject("Quorvex.PointData");
    step = "Das aktive Messprogramm kann nicht abgefragt werden";
    run.MeasurementProgram = AsObject(run.Application.Get(ids::application::kMeasurementProgram));
    if (!run.MeasurementProgram) ReportMissing(run, "Kein aktives Messprogramm geöffnet");
    step = "Die Befehlsliste kann nicht abgefragt werden";
    run.CMDS = AsObject(run.MeasurementProgram.Get(ids::program::kCommands));
    if (!run.CMDS) ReportMissing(run, "CMDS ist leer");
    step = "Der erste Befehl kann nicht ausgewählt werden";
    run.Cmd = AsObject(run.CMDS.Get(ids::commands::kCurrent));
    bool selected = ToBoolean(run.CMDS.Call(ids::commands::kSelect, Obj(run.Cmd.ptr())));
    run.Cmd.Put(ids::command::kDefault, Bool(selected));
    return true;
  } catch (const GaveUpOnBusyHost& e) {
    if (run.platform.stop.Requested()) throw;  // a stop, not a failed step
    ReportFailure(run, step, Described("vom Benutzer abgebrochen", e.number()), false);
  } catch (const Error& e) {
    ReportFailure(run, step, Described(TextOf(e), e.number()), true);
  }
  return false;
}

}  // namespace traskel
