// Lines, planes, and type codes without steps of their own.
#include "app/user_interface.h"
#include "conversion/feature.h"

namespace traskel {

void BuildLineOrPlane(Run& run) {
  BuildPoint(run);
}

void ReportUnsupported(Run& run) {
  run.platform.ui.ShowMessage("Not supported ", kAppTitle, Icon::None);
}

}  // namespace traskel
