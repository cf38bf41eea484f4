#include "host/connection.h"

#include "app/user_interface.h"

namespace traskel {

using namespace host;

namespace {

constexpr const char* kTitle = "Error in Function fktStartQuorvex()";

void ReportMissing(Run& run, const char* text) {
  run.platform.ui.ShowMessage(text, kTitle, Icon::Critical);
}

}  // namespace

bool fktStartQuorvex(Run& run) {
  // After a missing object the steps go on: the next call on it fails and
  // lands on the error path, which reports the failure once more.
  try {
    run.Application = run.platform.automation.CreateObject("Quorvex.Application");
    if (!run.Application) ReportMissing(run, "Error in CreateObject(Quorvex.Application)");
    run.PointData = run.platform.automation.CreateObject("Quorvex.PointData");
    if (!run.PointData) ReportMissing(run, "Error in CreateObject(Quorvex.PointData)");
    run.MeasurementProgram = AsObject(run.Application.Get(2));
    if (!run.MeasurementProgram) ReportMissing(run, "Kein aktives Messprogramm geöffnet");
    run.CMDS = AsObject(run.MeasurementProgram.Get(11));
    if (!run.CMDS) ReportMissing(run, "CMDS ist leer");
    run.Cmd = AsObject(run.CMDS.Get(12));
    bool selected = ToBoolean(run.CMDS.Call(5, Obj(run.Cmd.ptr())));
    run.Cmd.Put(0, Bool(selected));
    return true;
  } catch (const Error&) {
    run.platform.ui.ShowMessage("", "ERROR in fktStartQuorvex()", Icon::Exclamation);
    return false;
  }
}

}  // namespace traskel
