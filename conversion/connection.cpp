#include "conversion/connection.h"

#include "conversion/host_ids.h"
#include "platform/user_interface.h"

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
  // lands on the error path, which reports the failure once more. Creating
  // an object either gives one or fails.
  try {
    run.Application = run.platform.automation.CreateObject("Quorvex.Application");
    run.PointData = run.platform.automation.CreateObject("Quorvex.PointData");
    run.MeasurementProgram = AsObject(run.Application.Get(ids::application::kMeasurementProgram));
    if (!run.MeasurementProgram) ReportMissing(run, "Kein aktives Messprogramm geöffnet");
    run.CMDS = AsObject(run.MeasurementProgram.Get(ids::program::kCommands));
    if (!run.CMDS) ReportMissing(run, "CMDS ist leer");
    run.Cmd = AsObject(run.CMDS.Get(ids::commands::kCurrent));
    bool selected = ToBoolean(run.CMDS.Call(ids::commands::kSelect, Obj(run.Cmd.ptr())));
    run.Cmd.Put(ids::command::kDefault, Bool(selected));
    return true;
  } catch (const Error&) {
    run.platform.ui.ShowMessage("", "ERROR in fktStartQuorvex()", Icon::Exclamation);
    return false;
  }
}

}  // namespace traskel
